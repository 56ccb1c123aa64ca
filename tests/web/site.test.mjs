// The facility's page in a real browser: a generated fleet of three installations (two kept in a git
// record, one with a hostile catalogue) published by filterctl, opened from file:// in Debian's
// chromium through playwright-core, searched, used from the keyboard alone and checked by axe-core.
//
// FILTERCTL names the program, FC_DEMO_SQL the demo installation's statements and FC_WORKBOOKS its
// workbooks; FC_SCREENSHOTS, when set, names a folder for the screenshots README shows.

import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { chromium } from 'playwright-core';

const require = createRequire(import.meta.url);
const axeSource = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
const filterctl = process.env.FILTERCTL;
const demoSql = process.env.FC_DEMO_SQL;
const workbooks = process.env.FC_WORKBOOKS;
assert.ok(filterctl && demoSql && workbooks, 'FILTERCTL, FC_DEMO_SQL and FC_WORKBOOKS name the program, the demo and its workbooks');

const hostileName = '<script>alert(1)</script>';
const hostileCode = '"><img src=x onerror=alert(2)>';
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'fc-web-'));
const site = path.join(work, 'site');
let browser;
const dialogs = [];
const outside = [];

function sql(database, statements) {
  execFileSync('sqlite3', [database], { input: statements.join(';\n') + ';\n' });
}

function run(args) {
  return execFileSync(filterctl, args, { encoding: 'utf8', env: { ...process.env, XDG_CONFIG_HOME: work } });
}

function install(name, statements) {
  const file = path.join(work, name);
  sql(file, [fs.readFileSync(demoSql, 'utf8'), ...statements]);
  return file;
}

async function open(url, options = {}) {
  const context = await browser.newContext(options);
  const page = await context.newPage();
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
  page.on('request', (request) => { if (!request.url().startsWith('file://')) outside.push(request.url()); });
  await page.goto(url);
  return page;
}

const indexUrl = () => 'file://' + path.join(site, 'index.html');

async function resultRows(page) {
  return page.$$eval('#results tbody tr', (rows) => rows.map((row) => [...row.cells].map((c) => c.textContent)));
}

async function search(page, text) {
  await page.fill('#q', text);
  await page.press('#q', 'Enter');
  return resultRows(page);
}

// Whether a band, as the page words it, passes the wavelength.
function bandPasses(band, nm) {
  let m;
  if ((m = /^passes ([\d.]+) to ([\d.]+) nm/.exec(band))) return nm >= +m[1] && nm <= +m[2];
  if ((m = /^passes from ([\d.]+) nm up/.exec(band))) return nm >= +m[1];
  if ((m = /^passes up to ([\d.]+) nm/.exec(band))) return nm <= +m[1];
  if ((m = /^blocks ([\d.]+) to ([\d.]+) nm/.exec(band))) return nm < +m[1] || nm > +m[2];
  return false;
}

async function axeViolations(page) {
  await page.addScriptTag({ content: axeSource });
  const result = await page.evaluate(() => window.axe.run(document));
  return result.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
}

before(async () => {
  const repository = path.join(work, 'record');
  fs.mkdirSync(repository);
  execFileSync('git', ['-C', repository, 'init', '-q']);
  const first = install('first.sqlite', []);
  const second = install('second.sqlite', [
    "UPDATE [Available Systems] SET [ID Configuration] = 'Lab 2 Spinning Disk', [ID Scan Unit] = 'LSM-V 7'"]);
  for (const installation of [first, second])
    run(['--db', installation, 'snapshot', '--git', repository]);
  sql(second, ["UPDATE [Available FilterPlacement] SET [ID Potential] = 'LP 560' WHERE [ID Available] = 'EF1' AND [Position] = 2"]);
  run(['--db', second, 'snapshot', '--git', repository]);
  // A write through filterctl leaves the history the page's recent changes come from.
  const hostile = install('hostile.sqlite', []);
  run(['--db', hostile, 'apply', '--package', 'FITC - TRITC', path.join(workbooks, 'Filter_Configurations.xlsx')]);
  sql(hostile, [
    `UPDATE [Available Systems] SET [ID Configuration] = 'Lab <b>3</b> & "quoted"'`,
    `INSERT INTO [Potential Filters] ([ID Potential], [Type], [Veltrano Code No], [Lower Wavelength], [Upper Wavelength]) VALUES ('${hostileName}', 'BP', '${hostileCode}', 515, 535)`,
    `INSERT INTO [Potential Filters] ([ID Potential], [Type], [Lower Wavelength]) VALUES ('LP 520 \u202eevil\u202c & ''x''', 'LP', 520)`,
    `UPDATE [Available FilterPlacement] SET [ID Potential] = '${hostileName}' WHERE [ID Available] = 'EF1' AND [Position] = 3`,
    `UPDATE [Available FilterPlacement] SET [ID Potential] = 'LP 520 \u202eevil\u202c & ''x''' WHERE [ID Available] = 'EF2' AND [Position] = 4`]);
  const published = run(['publish', '-o', site, repository, hostile]);
  assert.match(published, /^published 3 microscopes/);
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [...(process.getuid() === 0 ? ['--no-sandbox'] : []), '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  await browser?.close();
  fs.rmSync(work, { recursive: true, force: true });
});

test('the index lists the three microscopes, the hostile names as text', async () => {
  const page = await open(indexUrl());
  assert.equal(await page.isVisible('#search-unavailable'), false);
  const links = await page.$$eval('main table a', (as) => as.map((a) => a.textContent));
  assert.deepEqual(links.sort(), ['Confocal LSM-V & Spectral Detection', 'Lab 2 Spinning Disk', 'Lab <b>3</b> & "quoted"']);
  const changes = await page.$$eval('main table tr', (rows) => rows.map((row) => row.textContent));
  assert.ok(changes.some((row) => row.includes('Lab 2 Spinning Disk') && /\d{4}-\d\d-\d\d/.test(row)),
            'the last change of a recorded microscope comes from the git log');
  await page.context().close();
});

test('searching 525 lists every position whose band passes 525 nm, with its microscope and wheel', async () => {
  const page = await open(indexUrl());
  const rows = await search(page, '525');
  assert.ok(rows.length > 0);
  for (const [microscope, wheel, position, filter, code, band] of rows)
    assert.ok(bandPasses(band, 525) || filter.includes('525') || code.includes('525'),
              `${microscope} ${wheel} ${position} ${filter}: ${band}`);
  const where = rows.map((r) => `${r[0]} | ${r[1]} | ${r[2]} | ${r[3]}`);
  const first = 'Confocal LSM-V & Spectral Detection, Inverted Stand IS-200 motorized';
  const hostile = 'Lab <b>3</b> & "quoted", Inverted Stand IS-200 motorized';
  for (const expected of [
    `${first} | emission filter wheel 1 (EF1) | 2 | BP 505-530`,
    `${first} | emission filter wheel 1 (EF1) | 3 | BP 505-550`,
    `${first} | emission filter wheel 1 (EF1) | 4 | LP 505`,
    `${hostile} | emission filter wheel 1 (EF1) | 3 | ${hostileName}`,
    `${hostile} | emission filter wheel 2 (EF2) | 4 | LP 520 \u202eevil\u202c & 'x'`])
    assert.ok(where.includes(expected), `missing: ${expected}`);
  assert.ok(!where.some((w) => w.includes('BP 420-480') || w.includes('LP 560')), 'bands that stop 525 are not listed');
  assert.match(await page.textContent('#search-status'), new RegExp(`^${rows.length} positions found for \u201c525\u201d\\.$`));
  console.log(`search "525": ${rows.length} positions on ${new Set(rows.map((r) => r[0])).size} microscopes`);
  const byCode = await search(page, '000000-1104-321');
  assert.deepEqual(byCode.map((r) => r[3]), ['BP 505-530', 'BP 505-530']); // the second's EF1 2 became LP 560
  const byName = await search(page, 'script');
  assert.deepEqual(byName.map((r) => [r[3], r[4]]), [[hostileName, hostileCode]]);
  assert.deepEqual(await search(page, 'no such filter'), []);
  assert.equal(await page.textContent('#search-status'), 'No position found for \u201cno such filter\u201d.');
  assert.equal(await page.isHidden('#results'), true);
  await page.context().close();
});

test('a search result leads to the microscope page, from the keyboard alone', async () => {
  const page = await open(indexUrl());
  let presses = 0;
  while (await page.evaluate(() => document.activeElement.id) !== 'q') {
    await page.keyboard.press('Tab');
    assert.ok(++presses < 20, 'the search field is reached with Tab');
  }
  await page.keyboard.type('script');
  await page.keyboard.press('Enter');
  await page.keyboard.press('Tab'); // the button
  await page.keyboard.press('Tab'); // the result's link
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Lab <b>3</b> & "quoted", Inverted Stand IS-200 motorized');
  await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  assert.match(page.url(), /Lab_b_3_b_quoted_-Inverted_Stand_IS_200_motorized-LSM_V_5\.html#wheel-0-EF1$/);
  assert.equal(await page.textContent('h1'), 'Lab <b>3</b> & "quoted", Inverted Stand IS-200 motorized');
  const changes = await page.$$eval('main table:last-of-type tr', (rows) => rows.map((row) => [...row.cells].map((c) => c.textContent.trim())));
  assert.equal(changes.length, 2, 'the history\'s one record under its header');
  assert.equal(changes[1][1], os.userInfo().username);
  assert.match(changes[1][0], /^\d{4}-\d\d-\d\d \d\d:\d\d UTC$/);
  const target = await page.$eval('#wheel-0-EF1', (table) => table.rows[3].textContent);
  assert.ok(target.includes(hostileName) && target.includes(hostileCode));
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'All microscopes');
  await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  assert.match(page.url(), /index\.html$/);
  await page.context().close();
});

test('every page reads without JavaScript, and the light path has its text alternative', async () => {
  const page = await open(indexUrl(), { javaScriptEnabled: false });
  assert.equal(await page.isVisible('#search-unavailable'), true);
  assert.equal(await page.isVisible('#search'), false);
  for (const href of await page.$$eval('main table a', (as) => as.map((a) => a.href))) {
    await page.goto(href);
    const drawings = await page.$$eval('figure svg', (svgs) => svgs.map((s) => [s.getAttribute('role'), s.getAttribute('aria-label')]));
    assert.equal(drawings.length, 3, 'a drawing for each mode');
    for (const [role, label] of drawings)
      assert.ok(role === 'img' && /^The light path of .+: \d+ filters drawn/.test(label), label);
    assert.ok((await page.$$('main table tr')).length > 40);
  }
  await page.context().close();
});

test('axe finds no violation on any page, light or dark', async () => {
  const pages = fs.readdirSync(site).filter((name) => name.endsWith('.html'));
  assert.equal(pages.length, 4);
  for (const colorScheme of ['light', 'dark']) {
    for (const name of pages) {
      const page = await open('file://' + path.join(site, name), { colorScheme });
      if (name === 'index.html')
        await search(page, '525'); // the results' table as well
      const violations = await axeViolations(page);
      assert.deepEqual(violations, [], `${name} (${colorScheme})`);
      console.log(`axe ${name} (${colorScheme}): 0 violations`);
      await page.context().close();
    }
  }
});

test('nothing was loaded from outside the site and no script of a name ran', async () => {
  assert.deepEqual(outside, []);
  assert.deepEqual(dialogs, []);
});

test('screenshots', { skip: !process.env.FC_SCREENSHOTS && 'FC_SCREENSHOTS names no folder' }, async () => {
  const folder = process.env.FC_SCREENSHOTS;
  const page = await open(indexUrl(), { viewport: { width: 1100, height: 900 } });
  await search(page, '525');
  await page.screenshot({ path: path.join(folder, 'site-index.png'), fullPage: false });
  await page.goto('file://' + path.join(site, fs.readdirSync(site).find((n) => n.startsWith('Confocal'))));
  await page.screenshot({ path: path.join(folder, 'site-microscope.png'), fullPage: false });
  await page.context().close();
});
