// A real browser against snapora-server: headless Chromium shows the picture
// on a screenshot page, whose link preview a real Open Graph parser reads; an
// open session page shows a new upload's thumbnail within a second without
// reloading and drops a deleted one; a session page with 50 screenshots
// loads in thumbnails, and what it transfers is measured.
//
//   node server_pages_test.mjs SERVER_EXE WORK_DIR
//   (WORK_DIR holds one.jpg, two.jpg and session/01.jpg ... session/50.jpg)

import { spawn } from 'node:child_process';
import { readFileSync, existsSync, readdirSync, statSync } from 'node:fs';
import { setTimeout as sleep } from 'node:timers/promises';
import ogs from 'open-graph-scraper';
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
  const upload = async (file, description, session, account) => {
    const form = new FormData();
    form.append('filename', 'screenshot');
    form.append('version', '4.2');
    form.append('description', description);
    if (session) form.append('sessionname', session);
    if (account) { form.append('username', account.user); form.append('password', account.password); }
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

  // The link preview, as a chat program's crawler reads it.
  const { result: og } = await ogs({ url: address });
  const picture = `${address}.jpg`;
  check('preview: title from the description', og.ogTitle === 'Erster Test <b>fett?</b>', og.ogTitle);
  check('preview: the raw picture, absolute, with its size',
    og.ogImage?.[0]?.url === picture && `${og.ogImage[0].width}x${og.ogImage[0].height}` === '320x200'
      && og.ogImage[0].type === 'image/jpeg', JSON.stringify(og.ogImage));
  check('preview: site name and page address', og.ogSiteName === 'Snapora' && og.ogUrl === address,
    `${og.ogSiteName} ${og.ogUrl}`);
  check('preview: a large Twitter card of the same picture',
    og.twitterCard === 'summary_large_image' && og.twitterImage?.[0]?.url === picture && og.twitterTitle === og.ogTitle,
    JSON.stringify([og.twitterCard, og.twitterImage]));
  const rawPicture = await fetch(picture);
  check('preview: the picture is served as a JPEG', rawPicture.status === 200
    && rawPicture.headers.get('content-type') === 'image/jpeg', rawPicture.status);

  // An account in the browser, to delete a screenshot from later.
  const account = { user: 'vortragende', password: 'geheim-1' };
  await page.goto(`${base}/account.htm?action=register`, { waitUntil: 'load' });
  await page.type('#username', account.user);
  await page.type('#password', account.password);
  await page.type('#password2', account.password);
  await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.click('button[type=submit]')]);
  check('account registered in the browser', (await page.content()).includes('Angemeldet als'));

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
  const first = await upload(`${work}/one.jpg`, 'Folie 1', 'vortrag', account);
  await page.goto(`${base}/~vortrag`, { waitUntil: 'load' });
  await page.evaluate(() => { window.notReloaded = true; });
  await sleep(300);  // the event stream is open
  const sent = Date.now();
  const second = await upload(`${work}/two.jpg`, 'Folie 2', 'vortrag');
  const name = second.slice(second.lastIndexOf('/') + 1);
  let appeared = true;
  try {
    await page.waitForFunction((n) => {
      const top = document.querySelector('#screenshots li');
      const img = top && top.querySelector('img');
      return img && img.getAttribute('src').startsWith(`/${n}.thumb.jpg?v=`) && img.complete && img.naturalWidth === 240
        && img.naturalHeight === 180 && img.parentNode.getAttribute('href') === `/${n}.jpg`;
    }, { timeout: 3000, polling: 25 }, name);
  } catch { appeared = false; }
  const waited = Date.now() - sent;
  check('new upload shown on top of the open session page, as its thumbnail linked to the picture', appeared);
  check(`...within a second (${waited} ms after the upload was sent)`, appeared && waited < 1000);
  check('...without a reload', await page.evaluate(() => window.notReloaded === true));
  const items = await page.$$eval('#screenshots li', (lis) => lis.map((li) => li.textContent));
  check('both slides listed, newest first', items.length === 2 && items[0].includes('Folie 2') && items[1].includes('Folie 1'),
    JSON.stringify(items));

  // Deleted by its owner on the account page, the first slide leaves the open session page.
  const owner = await browser.newPage();
  await owner.goto(`${base}/account.htm`, { waitUntil: 'load' });
  const firstName = first.slice(first.lastIndexOf('/') + 1);
  const deletedAt = Date.now();
  await Promise.all([owner.waitForNavigation({ waitUntil: 'load' }),
    owner.$eval(`form:has(input[name=name][value="${firstName}"]) button`, (button) => button.click())]);
  let removed = true;
  try {
    await page.waitForFunction(() => document.querySelectorAll('#screenshots li').length === 1, { timeout: 3000, polling: 25 });
  } catch { removed = false; }
  check(`a deleted screenshot leaves the open session page (${Date.now() - deletedAt} ms)`, removed
    && !(await page.content()).includes(firstName));
  await owner.close();

  // Fifty screenshots in one session: thumbnails only, every one of them loaded.
  const shots = readdirSync(`${work}/session`).filter((f) => f.endsWith('.jpg')).sort();
  await fetch(`${base}/loginsession.php?sessionname=fuenfzig`, { headers: { Cookie: programCookie } });
  for (const [i, file] of shots.entries()) await upload(`${work}/session/${file}`, `Bild ${i + 1}`, 'fuenfzig');
  const fullBytes = shots.reduce((sum, file) => sum + statSync(`${work}/session/${file}`).size, 0);
  const viewer = await browser.newPage();
  await viewer.setViewport({ width: 1280, height: 800 });
  const cdp = await viewer.createCDPSession();
  await cdp.send('Network.enable');
  await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
  let transferred = 0;
  let requests = 0;
  cdp.on('Network.loadingFinished', (event) => { transferred += event.encodedDataLength; requests++; });
  await viewer.goto(`${base}/~fuenfzig`, { waitUntil: 'load' });
  // Scrolled through, so that every lazily loaded thumbnail is fetched.
  for (let y = 0; y < 40; y++) {
    await viewer.evaluate(() => window.scrollBy(0, window.innerHeight));
    await sleep(50);
  }
  let allShown = true;
  try {
    await viewer.waitForFunction((n) => {
      const imgs = [...document.querySelectorAll('#screenshots img')];
      return imgs.length === n && imgs.every((img) => img.complete && img.naturalWidth === 400);
    }, { timeout: 15000, polling: 100 }, shots.length);
  } catch { allShown = false; }
  await sleep(300);
  check(`all ${shots.length} thumbnails shown, 400 pixels wide`, allShown && shots.length === 50);
  console.log(`  session page with ${shots.length} screenshots: ${transferred} bytes in ${requests} responses `
    + `(the ${shots.length} pictures themselves: ${fullBytes} bytes)`);
  check('the whole session page below 1.5 MB', allShown && transferred > 0 && transferred < 1500000, transferred);
  await viewer.close();
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
