// The administration pages in a real browser (Debian's headless Chromium, driven by
// playwright-core): an administrator follows the menu and fills the forms from the empty sections
// to a working user, a visitor then opens the guarded site with that user's name and password,
// and a user name holding markup is shown as text on the user list and in the log viewer.
// Screenshots of both land in tests/artifacts/.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

import {artifacts, chooseAuthority, launchBrowser, menu, startRun, stopRun, submit}
  from './run_support.mjs';

const USER = 'erin';
const PASSWORD = 'erin-browser-pw';
const ACCOUNT = 'webreader';
const MARKUP_USER = '<img src=x onerror=alert(1)>';

// One request outside the browser, as another visitor would send it.
function visit(port, pathname, user, password) {
  return new Promise((resolve, reject) => {
    const auth = Buffer.from(`${user}:${password}`).toString('base64');
    const req = http.get({host: '127.0.0.1', port, path: pathname,
                          headers: {Authorization: `Basic ${auth}`}},
                         (res) => { res.resume(); res.on('end', () => resolve(res.statusCode)); });
    req.on('error', reject);
  });
}

async function main() {
  fs.mkdirSync(artifacts, {recursive: true});
  const server = await startRun();
  const {port} = server;
  const base = `http://127.0.0.1:${port}`;
  const log = path.join(server.state, 'data', 'events.log');
  let browser;
  try {
    browser = await launchBrowser({username: USER, password: PASSWORD});
    const {page} = browser;
    const dialogs = [];
    page.on('dialog', async (dialog) => { dialogs.push(dialog.message()); await dialog.dismiss(); });

    await page.goto(`${base}/cgi-bin/vardadmin`);

    await menu(page, 'General options');
    await page.fill('input[name=LogFile]', log);
    await submit(page);
    assert.equal(await page.inputValue('input[name=LogFile]'), log);

    await menu(page, 'Add NT account');
    await page.fill('input[name=User]', ACCOUNT);
    await page.fill('input[name=Pass]', 'nt-account-pw');
    await page.fill('input[name=Pass2]', 'nt-account-pw');
    await submit(page);
    assert.match(await page.content(), /added successfuly/);

    await menu(page, 'Add new authority');
    await page.fill('input[name=Authority]', 'Readers');
    await page.check('input[name=ExpirationRequired]');
    await submit(page);
    assert.match(await page.content(), /created/);

    await menu(page, 'Add new binding to site');
    await page.fill('input[name=Host]', '127.0.0.1');
    await page.fill('input[name=Port]', String(port));
    await page.selectOption('select[name=Authority]', 'Readers');
    await submit(page);
    assert.match(await page.content(), /will be authenticated in authority/);

    await menu(page, 'Add new user');
    await chooseAuthority(page, 'Readers');
    await page.fill('input[name=User]', USER);
    await page.fill('input[name=Pass]', PASSWORD);
    assert.ok(await page.isChecked('input[name=MapTo]'), 'mapping is on for a new user');
    await page.selectOption('select[name=NTAcc]', ACCOUNT);
    // The authority requires an expiration date; this user is exempt instead.
    await page.check('input[name=noexpiration]');
    await submit(page);
    assert.match(await page.content(), /added to authority/);

    await menu(page, 'Add new user');
    await chooseAuthority(page, 'Readers');
    await page.fill('input[name=User]', MARKUP_USER);
    await page.fill('input[name=Pass]', 'whatever');
    await page.check('input[name=noexpiration]');
    await submit(page);

    // The visitor: the browser answers the guarded site's challenge with the new user.
    await page.goto(`${base}/protected/`);
    assert.match(await page.textContent('#guarded'), /signed in/);
    await Promise.all([page.waitForLoadState('load'), page.click('a:text-is("Who am I?")')]);
    assert.equal(await page.textContent('#remote-user'), ACCOUNT);
    assert.equal(await page.textContent('#auth-type'), 'Basic');

    // The markup user tries to log on, so that its name lands in the event log.
    assert.equal(await visit(port, '/protected/', MARKUP_USER, 'wrong'), 401);

    await page.goto(`${base}/cgi-bin/vardadmin`);
    await menu(page, 'List authority');
    await chooseAuthority(page, 'Readers');
    const listText = await page.textContent('body');
    assert.ok(listText.includes(USER), 'the new user is listed');
    assert.ok(listText.includes(MARKUP_USER), 'the markup user name is shown as text');
    assert.equal(await page.locator('img').count(), 0, 'no image element came from a user name');
    await page.screenshot({path: path.join(artifacts, 'user-list.png'), fullPage: true});

    await menu(page, 'View log');
    await page.selectOption('select[name=type]', '-1');
    await submit(page, 'List from the beginning');
    const logText = await page.textContent('body');
    assert.ok(logText.includes('OK Authenticated (UserName UserDB)'), 'the log shows the log-on');
    assert.ok(logText.includes(MARKUP_USER), 'the log shows the markup user name as text');
    assert.equal(await page.locator('img').count(), 0, 'no image element came from the log');
    await page.screenshot({path: path.join(artifacts, 'log-viewer.png'), fullPage: true});

    assert.deepEqual(dialogs, [], 'no script from a user name ran');
  } finally {
    if (browser) await browser.close();
    assert.equal(await stopRun(server), 0, 'the run command stops cleanly');
  }
}

main().then(() => console.log('browser test passed'), (e) => {
  console.error(e);
  process.exit(1);
});
