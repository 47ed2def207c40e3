// A session page in headless Chromium, served through haproxy by two
// snapora-server instances on one throwaway PostgreSQL database: an upload
// through either instance appears on it within a second; it stays open while
// the database restarts and shows what came meanwhile; and when the whole
// service goes away (both instances and the database) and comes back, the
// page finds its way back by itself and shows the uploads it missed.
//
//   node session_across_instances_test.mjs SERVER_EXE WORK_DIR THROWAWAY_POSTGRES
//   (WORK_DIR holds one.jpg and two.jpg)

import { execFileSync, spawn } from 'node:child_process';
import { chmodSync, chownSync, existsSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { setTimeout as sleep } from 'node:timers/promises';
import puppeteer from 'puppeteer-core';

const [serverExe, work, throwawayPostgres] = process.argv.slice(2);
let passes = 0;
let failures = 0;
const check = (what, ok, detail = '') => {
  if (ok) { passes++; console.log(`  ok   ${what}`); } else { failures++; console.log(`  FAIL ${what} ${detail}`); }
};
const root = process.getuid() === 0;
const nobody = root ? Number(execFileSync('id', ['-u', 'nobody']).toString()) : 0;
const asNobody = (command) => (root ? ['setpriv', '--reuid=nobody', '--regid=nogroup', '--clear-groups', '--', ...command] : command);

const freePort = () => new Promise((resolve) => {
  const probe = createServer().listen(0, '127.0.0.1', () => { const { port } = probe.address(); probe.close(() => resolve(port)); });
});

// The database and the balancer run as nobody when this runs as root: it must reach their folders.
if (root) chmodSync(work, 0o755);
const cluster = `${work}/postgres`;
mkdirSync(cluster);
const postgres = (...args) => execFileSync(throwawayPostgres, [args[0], cluster, ...args.slice(1)]).toString().trim();
const database = postgres('start', '--watch', String(process.pid)).split('\n').pop();

const instances = {};
let log = '';
// An instance on a port of its own, the same one again after a restart.
const startInstance = async (name, port) => {
  const portFile = `${work}/${name}.port`;
  rmSync(portFile, { force: true });
  const child = spawn(serverExe, ['--listen', `127.0.0.1:${port}`, '--data', `${work}/${name}`, '--port-file', portFile,
    '--database', database, '--behind-proxy'], { stdio: ['ignore', 'ignore', 'pipe'] });
  child.stderr.on('data', (chunk) => { log += chunk; });
  for (let i = 0; i < 200 && !existsSync(portFile); i++) await sleep(50);
  instances[name] = child;
  return Number(readFileSync(portFile, 'utf8').trim().split(':')[1]);
};
const stopInstance = async (name) => {
  const child = instances[name];
  const ended = new Promise((resolve) => child.on('exit', resolve));
  child.kill('SIGKILL');
  await ended;
};

let browser;
let balancer;
try {
  const ports = { a: await startInstance('a', 0), b: await startInstance('b', 0) };
  const balancerDir = `${work}/haproxy`;
  mkdirSync(balancerDir);
  const balancerPort = await freePort();
  writeFileSync(`${balancerDir}/haproxy.cfg`, ['defaults', '  mode http', '  timeout connect 1s', '  timeout client 60s',
    '  timeout server 60s', '  retries 2', '  option redispatch', 'frontend snapora', `  bind 127.0.0.1:${balancerPort}`,
    '  http-request set-header X-Real-IP %[src]', '  default_backend instances', 'backend instances',
    `  server a 127.0.0.1:${ports.a} check inter 300ms fall 1 rise 1`,
    `  server b 127.0.0.1:${ports.b} check inter 300ms fall 1 rise 1`, ''].join('\n'));
  if (root) chownSync(balancerDir, nobody, nobody);
  const [command, ...args] = asNobody(['/usr/sbin/haproxy', '-db', '-f', `${balancerDir}/haproxy.cfg`]);
  balancer = spawn(command, args, { stdio: ['ignore', 'ignore', 'pipe'] });
  balancer.stderr.on('data', (chunk) => { log += chunk; });
  await sleep(1000);
  const base = `http://127.0.0.1:${balancerPort}`;

  // The session belongs to the client that opened it: its uploads carry that client's cookie.
  const login = await fetch(`${base}/loginsession.php?sessionname=vortrag`);
  const owner = (login.headers.get('set-cookie') || '').split(';')[0];
  const upload = async (port, file, description) => {
    const form = new FormData();
    form.append('filename', 'screenshot');
    form.append('version', '4.2');
    form.append('description', description);  // ASCII: the program's texts are Windows-1252, FormData's UTF-8
    form.append('sessionname', 'vortrag');
    form.append('screenshot', new Blob([readFileSync(file)], { type: 'image/jpeg' }), 'C:\\Temp\\screen.jpg');
    const reply = await (await fetch(`http://127.0.0.1:${port}/upload.php`,
      { method: 'POST', body: form, headers: { Cookie: owner } })).text();
    if (!reply.startsWith('ok|')) throw new Error(`upload refused: ${reply}`);
  };

  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: `${work}/profile`,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking', '--disable-sync'],
  });
  const page = await browser.newPage();
  await upload(ports.a, `${work}/one.jpg`, 'Folie 1');
  await page.goto(`${base}/~vortrag`, { waitUntil: 'load' });
  await page.evaluate(() => { window.notReloaded = true; });
  await sleep(300);  // the event stream is open

  // Within `ms` of an upload through `port`, its item is on top of the page.
  const shownAfterUpload = async (port, description, ms) => {
    const sent = Date.now();
    await upload(port, `${work}/two.jpg`, description);
    try {
      await page.waitForFunction((d) => document.querySelector('#screenshots li')?.textContent.includes(d),
        { timeout: ms, polling: 25 }, description);
      return Date.now() - sent;
    } catch { return null; }
  };
  for (const name of ['a', 'b']) {
    const waited = await shownAfterUpload(ports[name], `Folie durch ${name}`, 3000);
    check(`an upload through instance ${name} is on the page within a second (${waited} ms)`, waited !== null && waited < 1000);
  }

  postgres('stop', 'immediate');
  await sleep(6000);  // past the keep-alive looks of the stream
  postgres('start');
  const afterRestart = await shownAfterUpload(ports.a, 'nach dem Neustart der Datenbank', 5000);
  check(`the page stayed open while the database restarted, and shows the next upload (${afterRestart} ms)`,
    afterRestart !== null && afterRestart < 1000);

  // Everything goes: the balancer answers 503, the page's stream closes; it tries again by itself.
  await stopInstance('a');
  await stopInstance('b');
  postgres('stop', 'immediate');
  await sleep(2500);
  postgres('start');
  ports.a = await startInstance('a', ports.a);
  ports.b = await startInstance('b', ports.b);
  await upload(ports.b, `${work}/one.jpg`, 'in der Pause');
  let caughtUp = true;
  try {
    await page.waitForFunction(() => document.querySelector('#screenshots li')?.textContent.includes('in der Pause'),
      { timeout: 15000, polling: 100 });
  } catch { caughtUp = false; }
  check('after the whole service came back the page shows what it missed, without a reload',
    caughtUp && await page.evaluate(() => window.notReloaded === true));
  const items = await page.$$eval('#screenshots li', (lis) => lis.length);
  check('each upload listed once', items === 5, items);
} catch (error) {
  check('browser test ran', false, error.stack);
  console.log(log);
} finally {
  if (browser) await browser.close();
  for (const child of Object.values(instances)) child.kill('SIGTERM');
  if (balancer) balancer.kill('SIGTERM');
  try { postgres('stop', 'immediate'); } catch { /* already stopped */ }
}
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures === 0 ? 0 : 1);
