// placeholder: implemented in its own change
