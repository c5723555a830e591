// A password with non-ASCII characters and blanks, typed into the administration pages in a real
// browser (Debian's headless Chromium), opens the guarded site through the browser's own Basic
// log-on, is shown as typed in the edit form, and still works after that form is saved; then,
// with the pages storing hashes, it is stored as a hash, never shown, and kept by an empty field.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import {chooseAuthority, launchBrowser, menu, startRun, stopRun, submit}
  from './run_support.mjs';

const USER = 'jürgen';
const PASSWORD = 'Grüße an é und 5 €';
const ACCOUNT = 'webreader';

async function main() {
  const server = await startRun();
  const base = `http://127.0.0.1:${server.port}`;
  let browser;
  try {
    browser = await launchBrowser({username: USER, password: PASSWORD});
    const {page} = browser;
    await page.goto(`${base}/cgi-bin/vardadmin`);

    await menu(page, 'Add NT account');
    await page.fill('input[name=User]', ACCOUNT);
    await page.fill('input[name=Pass]', 'nt-account-pw');
    await page.fill('input[name=Pass2]', 'nt-account-pw');
    await submit(page);

    await menu(page, 'Add new authority');
    await page.fill('input[name=Authority]', 'Readers');
    await submit(page);

    await menu(page, 'Add new binding to site');
    await page.fill('input[name=Host]', '127.0.0.1');
    await page.fill('input[name=Port]', String(server.port));
    await page.selectOption('select[name=Authority]', 'Readers');
    await submit(page);

    await menu(page, 'Add new user');
    await chooseAuthority(page, 'Readers');
    await page.fill('input[name=User]', USER);
    await page.fill('input[name=Pass]', PASSWORD);
    await page.selectOption('select[name=NTAcc]', ACCOUNT);
    await submit(page);
    assert.match(await page.textContent('body'), /jürgen added to authority Readers/);

    const signIn = async (when) => {
      const guarded = await page.goto(`${base}/protected/whoami.cgi`);
      assert.equal(guarded.status(), 200, `the browser's own log-on is accepted ${when}`);
      assert.equal(await page.textContent('#remote-user'), ACCOUNT);
    };
    await signIn('after the user was added');

    await page.goto(`${base}/cgi-bin/vardadmin`);
    await menu(page, 'Change user');
    await chooseAuthority(page, 'Readers');
    await page.selectOption('select[name=User]', USER);
    await submit(page);
    assert.equal(await page.inputValue('input[name=Pass]'), PASSWORD, 'the edit form shows it');
    await submit(page);
    assert.match(await page.textContent('body'), /jürgen changed in authority Readers/);
    await signIn('after the edit form was saved');

    // Once the pages store hashes, the password typed again is stored as one and never shown.
    const config = path.join(server.state, 'data', 'vardomar.cfg');
    fs.writeFileSync(config, fs.readFileSync(config, 'utf8')
      .replace('} MAIN;', '    (int)HashPasswords=1\n} MAIN;'));
    const editForm = async () => {
      await page.goto(`${base}/cgi-bin/vardadmin`);
      await menu(page, 'Change user');
      await chooseAuthority(page, 'Readers');
      await page.selectOption('select[name=User]', USER);
      await submit(page);
      assert.equal(await page.inputValue('input[name=Pass]'), '', 'no stored password is shown');
    };
    await editForm();
    await page.fill('input[name=Pass]', PASSWORD);
    await submit(page);
    assert.ok(!fs.readFileSync(config, 'utf8').includes(PASSWORD), 'stored as a hash');
    await signIn('with the password stored as a hash');
    await editForm();
    assert.ok(!(await page.content()).includes('$y$'), 'the hash is not in the page');
    await submit(page);
    await signIn('after an empty password kept the hash');
  } finally {
    if (browser) await browser.close();
    assert.equal(await stopRun(server), 0, 'the run command stops cleanly');
  }
}

main().then(() => console.log('password browser test passed'), (e) => {
  console.error(e);
  process.exit(1);
});
