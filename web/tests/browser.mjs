// The system's headless Chromium as the page's tests and benchmark drive
// it: a fresh profile in the work folder, no network of its own, sound
// allowed to play without a gesture.
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';

const BROWSER_FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--autoplay-policy=no-user-gesture-required',
];

export async function launchChromium(work, extraFlags = []) {
  const profile = fs.mkdtempSync(path.join(work, 'profile-'));
  return chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [...BROWSER_FLAGS, ...extraFlags],
    ignoreDefaultArgs: ['--enable-automation'],
    acceptDownloads: true,
    locale: 'en-US',
    viewport: { width: 1000, height: 900 },
  });
}
