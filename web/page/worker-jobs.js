// The two page workers' way of taking jobs: one after another, in the order
// they came, each answered with its result or, when it throws, with the
// error's words in both languages; the files named by `transfers` move to
// the page instead of being copied.
'use strict';

function serveJobsInTurn(work, transfers) {
  let queue = Promise.resolve();
  self.onmessage = (event) => {
    const request = event.data;
    queue = queue.then(async () => {
      let result;
      try {
        result = await work(request);
      } catch (error) {
        const message = `${error && error.message ? error.message : error}`;
        result = { job: request.job, options: request.options, failure: { ru: message, en: message } };
      }
      self.postMessage(result, transfers(result).filter((file) => file));
    });
  };
}
