// A real browser against snapora-server: headless Chromium shows the picture
// on a screenshot page, and an open session page shows a new upload within a
// second without reloading.
//
//   node server_pages_test.mjs SERVER_EXE WORK_DIR   (WORK_DIR holds one.jpg and two.jpg)

import { spawn } from 'node:child_process';
import { readFileSync, existsSync } from 'node:fs';
import { setTimeout as sleep } from 'node:timers/promises';
import puppeteer from 'puppeteer-core';

const [serverExe, work] = process.argv.slice(2);
let passes = 0;
let failures = 0;
const check = (what, ok, detail = '') => {
  if (ok) { passes++; console.log(`  ok   ${what}`); } else { failures++; console.log(`  FAIL ${what} ${detail}`); }
};

const portFile = `${work}/port`;
const server = spawn(serverExe, ['--listen', '127.0.0.1:0', '--data', `${work}/data`, '--port-file', portFile],
  { stdio: ['ignore', 'ignore', 'pipe'] });
let serverLog = '';
server.stderr.on('data', (chunk) => { serverLog += chunk; });

let browser;
try {
  for (let i = 0; i < 100 && !existsSync(portFile); i++) await sleep(50);
  const host = readFileSync(portFile, 'utf8').trim();
  const base = `http://${host}`;

  // The program's upload, as far as the server can tell.
  // The program keeps the cookie the server sets; a session takes uploads only from the client that opened it.
  let programCookie = '';
  const upload = async (file, description, session) => {
    const form = new FormData();
    form.append('filename', 'screenshot');
    form.append('version', '4.2');
    form.append('description', description);
    if (session) form.append('sessionname', session);
    form.append('screenshot', new Blob([readFileSync(file)], { type: 'image/jpeg' }), 'C:\\Temp\\screen.jpg');
    const answer = await fetch(`${base}/upload.php`,
      { method: 'POST', body: form, headers: programCookie ? { Cookie: programCookie } : {} });
    programCookie ||= (answer.headers.get('set-cookie') || '').split(';')[0];
    const reply = await answer.text();
    if (!reply.startsWith('ok|')) throw new Error(`upload refused: ${reply}`);
    return reply.split('|')[2];
  };

  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: `${work}/profile`,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const page = await browser.newPage();
  const problems = [];
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  page.on('pageerror', (error) => problems.push(String(error)));

  // The screenshot page shows the picture itself.
  const address = await upload(`${work}/one.jpg`, 'Erster Test <b>fett?</b>');
  const response = await page.goto(address, { waitUntil: 'load' });
  check('screenshot page answers 200', response.status() === 200, response.status());
  const shown = await page.$eval('figure img', (img) => ({ complete: img.complete, width: img.naturalWidth, height: img.naturalHeight }));
  check('the picture is decoded and shown', shown.complete && shown.width === 320 && shown.height === 200, JSON.stringify(shown));
  const heading = await page.$eval('h1', (h) => h.textContent);
  check('script-like description stays text', heading === 'Erster Test <b>fett?</b>', heading);

  // Renamed, the old address still leads to the picture.
  const rename = new FormData();
  rename.append('filename', address.slice(address.lastIndexOf('/') + 1));
  rename.append('newfilename', 'Umbenannt');
  const renamed = await (await fetch(`${base}/rename.php`, { method: 'POST', body: rename, headers: { Cookie: programCookie } })).text();
  check('renamed', renamed === `${base}/Umbenannt`, renamed);
  await page.goto(address, { waitUntil: 'load' });
  const followed = await page.$eval('figure img', (img) => img.complete && img.naturalWidth === 320);
  check('the old address leads to the new one', page.url() === `${base}/Umbenannt` && followed, page.url());

  // The session page: a new upload appears without a reload.
  const login = await fetch(`${base}/loginsession.php?sessionname=vortrag`, { headers: { Cookie: programCookie } });
  check('session opened by the program', (await login.text()) === 'ok vortrag');
  await upload(`${work}/one.jpg`, 'Folie 1', 'vortrag');
  await page.goto(`${base}/~vortrag`, { waitUntil: 'load' });
  await page.evaluate(() => { window.notReloaded = true; });
  await sleep(300);  // the event stream is open
  const sent = Date.now();
  const second = await upload(`${work}/two.jpg`, 'Folie 2', 'vortrag');
  const name = second.slice(second.lastIndexOf('/') + 1);
  let appeared = true;
  try {
    await page.waitForFunction((n) => {
      const first = document.querySelector('#screenshots li');
      const img = first && first.querySelector('img');
      return img && img.getAttribute('src') === `/${n}.jpg` && img.complete && img.naturalWidth > 0;
    }, { timeout: 3000, polling: 25 }, name);
  } catch { appeared = false; }
  const waited = Date.now() - sent;
  check('new upload shown on top of the open session page', appeared);
  check(`...within a second (${waited} ms after the upload was sent)`, appeared && waited < 1000);
  check('...without a reload', await page.evaluate(() => window.notReloaded === true));
  const items = await page.$$eval('#screenshots li', (lis) => lis.map((li) => li.textContent));
  check('both slides listed, newest first', items.length === 2 && items[0].includes('Folie 2') && items[1].includes('Folie 1'),
    JSON.stringify(items));
  check('no script errors or blocked content', problems.length === 0, JSON.stringify(problems));
} catch (error) {
  check('browser test ran', false, error.stack);
  console.log(serverLog);
} finally {
  if (browser) await browser.close();
  server.kill('SIGTERM');
}
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures === 0 ? 0 : 1);
