// Another web site against the administration pages, in a real browser (Debian's headless
// Chromium): a page served from another loopback port posts a form to AddUserDo on its own,
// loads Config as an image and frames the administration page. The configuration and the
// settings store stay byte-identical and the frame stays empty; the same browser then adds a
// user through the real pages, which works and breaks no rule of the pages' content policy.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

import {chooseAuthority, freePort, launchBrowser, menu, startRun, stopRun, submit}
  from './run_support.mjs';

// The attacker's pages, aimed at the administration program at `admin`.
function attackerPages(admin) {
  const addUser = {Authority: 'Demo', User: 'mallory', Pass: 'mallory-pw', MapTo: 'ON',
                   NTAcc: 'webstaff', noexpiration: '1', B1: 'Submit'};
  const fields = Object.entries(addUser)
      .map(([name, value]) => `<input type="hidden" name="${name}" value="${value}">`).join('');
  return {
    '/post.html': `<html><body><form id="f" method="POST" action="${admin}?Action=AddUserDo">` +
        `${fields}</form><script>document.getElementById('f').submit();</script></body></html>`,
    '/embed.html': `<html><body><img id="img" src="${admin}?Action=Config">` +
        `<iframe id="frame" src="${admin}"></iframe></body></html>`,
  };
}

function serve(pages, port) {
  const server = http.createServer((req, res) => {
    const page = pages[req.url];
    res.writeHead(page ? 200 : 404, {'Content-Type': 'text/html'});
    res.end(page || '');
  });
  return new Promise((resolve) => server.listen(port, '127.0.0.1', () => resolve(server)));
}

async function main() {
  const server = await startRun([]);
  const {port, state} = server;
  const admin = `http://127.0.0.1:${port}/cgi-bin/vardadmin`;
  const attacker = await serve(attackerPages(admin), await freePort());
  const evil = `http://127.0.0.1:${attacker.address().port}`;
  const config = path.join(state, 'data', 'vardomar.cfg');
  const registry = path.join(state, 'data', 'registry');
  let browser;
  try {
    const files = () => [fs.readFileSync(config, 'utf8'), fs.readFileSync(registry, 'utf8')];
    const before = files();
    browser = await launchBrowser(undefined);
    const {page} = browser;
    const policyErrors = [];
    page.on('console', (m) => {
      if (/Content Security Policy/i.test(m.text())) policyErrors.push(m.text());
    });

    const posted = page.waitForURL(`${admin}?Action=AddUserDo`);
    await page.goto(`${evil}/post.html`, {waitUntil: 'commit'});
    await posted;
    await page.goto(`${evil}/embed.html`, {waitUntil: 'load'});
    assert.equal(await page.$eval('#img', (img) => img.naturalWidth), 0);
    const frame = page.frames().find((f) => f !== page.mainFrame());
    const framed = await frame.evaluate(() => document.body ? document.body.innerText : '')
        .catch(() => '');
    assert.ok(!framed.includes('Vardomar'), `the frame shows the page: ${framed}`);

    // Both forged requests reached the program and were refused there.
    const access = fs.readFileSync(path.join(state, 'logs', 'access.log'), 'utf8');
    assert.match(access, /"POST \/cgi-bin\/vardadmin\?Action=AddUserDo HTTP\/1.1" 403/, access);
    assert.match(access, /"GET \/cgi-bin\/vardadmin\?Action=Config HTTP\/1.1" 405/, access);
    assert.deepEqual(files(), before, 'configuration and settings store unchanged');
    assert.ok(!before[0].includes('mallory'));

    // The administrator's own use of the pages still changes the configuration.
    policyErrors.length = 0;
    await page.goto(admin);
    await menu(page, 'Add new user');
    await chooseAuthority(page, 'Demo');
    await page.fill('input[name=User]', 'trudy');
    await page.fill('input[name=Pass]', 'trudy-pw');
    await page.selectOption('select[name=NTAcc]', 'webstaff');
    await submit(page);
    assert.match(await page.content(), /added to authority/);
    assert.match(fs.readFileSync(config, 'utf8'), /\{ trudy:/);
    assert.match(await page.$eval('td', (td) => getComputedStyle(td).fontFamily), /Arial/,
                 'the style block applies');
    assert.deepEqual(policyErrors, [], 'the pages break no rule of their content policy');
  } finally {
    if (browser) await browser.close();
    attacker.close();
    assert.equal(await stopRun(server), 0, 'the run command stops cleanly');
  }
}

main().then(() => console.log('forgery browser test passed'), (e) => {
  console.error(e);
  process.exit(1);
});
