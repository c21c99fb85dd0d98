#!/usr/bin/env node
// The page's tests in Debian's headless Chromium: the built page (build/web/)
// served on a free port of 127.0.0.1, one browser for the run, a fresh
// context per case, everything closed and removed at the end.
//   node tests/browser/run.js WEB-FOLDER [--shots FOLDER] [GROUP...]
// GROUP: a file of cases/ (connect, update, faults, ...); all when none is named.
// Failed cases leave a screenshot in --shots FOLDER when given.
'use strict';

const fs = require('fs');
const path = require('path');

let web = null;
let shots = null;
const groups = [];
for (let args = process.argv.slice(2); args.length;) {
    const arg = args.shift();
    if (arg === '--shots')
        shots = args.shift();
    else if (web === null)
        web = arg;
    else
        groups.push(arg);
}
if (!web) {
    console.error('usage: node run.js WEB-FOLDER [--shots FOLDER] [GROUP...]');
    process.exit(2);
}
if (!fs.existsSync(path.join(web, 'index.html'))) {
    console.error(`${web} holds no built page (index.html): build it first (cmake --build build)`);
    process.exit(1);
}
try {
    require.resolve('playwright-core');
} catch {
    console.error(`playwright-core is missing: run "npm ci" in ${__dirname} (./setup.sh test does)`);
    process.exit(1);
}

const { launch } = require('./lib/browser');
const { serve } = require('./lib/server');
const { standIn, keepingLog } = require('./lib/standin');

const casesFolder = path.join(__dirname, 'cases');
const available = fs.readdirSync(casesFolder).filter((f) => f.endsWith('.js')).map((f) => f.slice(0, -3)).sort();
for (const g of groups) {
    if (!available.includes(g)) {
        console.error(`no group ${g}; groups: ${available.join(' ')}`);
        process.exit(2);
    }
}

function withLimit(promise, ms, what) {
    let timer;
    const limit = new Promise((_, reject) => {
        timer = setTimeout(() => reject(new Error(`${what} took longer than ${ms / 1000} s`)), ms);
    });
    return Promise.race([promise, limit]).finally(() => clearTimeout(timer));
}

async function runCase(browser, url, group, c) {
    // English unless the case says otherwise, whatever the machine's language.
    const context = await browser.newContext({ locale: c.locale || 'en-US' });
    const problems = [];
    try {
        await keepingLog(context);
        if (c.options !== null)
            await standIn(context, c.options || {});
        context.setDefaultTimeout(20000);
        const page = await context.newPage();
        page.on('pageerror', (error) => problems.push(`the page threw: ${error.message}`));
        try {
            await withLimit(c.run({ page, context, url }), c.limit || 120000, 'the case');
            if (problems.length)
                throw new Error(problems.join('; '));
        } catch (error) {
            if (shots) {
                fs.mkdirSync(shots, { recursive: true });
                await page.screenshot({ path: path.join(shots, `${group}-${c.name.replace(/\W+/g, '-')}.png`) })
                    .catch(() => {});
            }
            throw error;
        }
    } finally {
        await context.close();
    }
}

async function main() {
    const server = await serve(web);
    const chromium = await launch();
    const stop = async () => {
        await chromium.close().catch(() => {});
        await server.close();
    };
    let passed = 0;
    let failed = 0;
    try {
        for (const group of groups.length ? groups : available) {
            for (const c of require(path.join(casesFolder, group))) {
                const started = Date.now();
                try {
                    await runCase(chromium.browser, server.url, group, c);
                    ++passed;
                    console.log(`ok    ${group}: ${c.name} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
                } catch (error) {
                    ++failed;
                    // Playwright's call log and colours add nothing to the first line.
                    const message = String(error.message).replace(/\x1b\[\d+m/g, '').split('\nCall log')[0];
                    console.log(`FAIL  ${group}: ${c.name} (${((Date.now() - started) / 1000).toFixed(1)} s)\n      ${message}`);
                }
            }
        }
    } finally {
        await stop();
    }
    console.log(`${passed} passed, ${failed} failed`);
    return failed === 0 && passed > 0;
}

main().then((good) => process.exit(good ? 0 : 1), (error) => {
    console.error(error.stack || String(error));
    process.exit(1);
});
