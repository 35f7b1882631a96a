#!/usr/bin/env python3
"""Parses a damage map written by lentok-read --map as XML (so that a document
that is not well-formed fails) and prints what it shows, a line per item:

  heading TEXT
  panel TITLE level=POINTS
  record CLASSES label=TITLE doubtful=RUNS/BITS confidence=POINTS drift=YES|NO load=MARKS

for the tests to compare."""
import sys
import xml.etree.ElementTree as ET

SVG = '{http://www.w3.org/2000/svg}'


def classes(element):
    return element.get('class', '').split()


def main(path):
    root = ET.parse(path).getroot()
    if root.tag != SVG + 'svg':
        sys.exit('not an SVG document: ' + root.tag)
    for text in root.iter(SVG + 'text'):
        if 'heading' in classes(text):
            print('heading', text.text)
    for panel in root.iter(SVG + 'g'):
        if 'panel' not in classes(panel):
            continue
        title = next(t.text for t in panel.iter(SVG + 'text') if 'title' in classes(t))
        level = [p for p in panel.iter(SVG + 'path') if 'level' in classes(p)]
        points = level[0].get('d').count('L') if level else 0
        print('panel', title, 'level=%d' % points)
        for record in panel.iter(SVG + 'g'):
            if 'record' not in classes(record):
                continue
            label = record.find(SVG + 'title').text
            runs = [g for g in record.iter(SVG + 'g') if 'doubtful-run' in classes(g)]
            bits = sum(int(g.get('data-bits')) for g in runs)
            line = [p for p in record.iter(SVG + 'polyline') if 'confidence-line' in classes(p)]
            confidence = len(line[0].get('points').split()) if line else 0
            drift = any('drift' in classes(p) for p in record.iter(SVG + 'path'))
            marks = sum(1 for g in record.iter(SVG + 'g') if 'load-mark' in classes(g))
            print('record', ' '.join(classes(record)), 'label=' + label,
                  'doubtful=%d/%d' % (len(runs), bits), 'confidence=%d' % confidence,
                  'drift=' + ('YES' if drift else 'NO'), 'load=%d' % marks)


if __name__ == '__main__':
    main(sys.argv[1])
