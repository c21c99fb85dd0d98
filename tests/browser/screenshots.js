#!/usr/bin/env node
// Takes the README's pictures of the page in headless Chromium on the page's
// own simulated Qel, in English and in German: connected, and writing.
//   node tests/browser/screenshots.js WEB-FOLDER [OUT-FOLDER]   (default docs/screenshots/)
'use strict';

const fs = require('fs');
const path = require('path');
const { launch } = require('./lib/browser');
const { serve } = require('./lib/server');
const { standIn } = require('./lib/standin');
const q = require('./lib/qelpage');

const [web, out = path.join(__dirname, '..', '..', 'docs', 'screenshots')] = process.argv.slice(2);
if (!web || !fs.existsSync(path.join(web, 'index.html'))) {
    console.error('usage: node tests/browser/screenshots.js WEB-FOLDER [OUT-FOLDER]   (WEB-FOLDER: build/web)');
    process.exit(2);
}

async function take(browser, url, language) {
    const context = await browser.newContext({ locale: 'en-US', viewport: { width: 960, height: 760 } });
    try {
        // A little latency, so that the picture of the writing shows it under way.
        await standIn(context, { latencyMs: 1 });
        const page = await context.newPage();
        await q.open(page, url);
        await page.selectOption('#language', language);
        await q.connect(page);
        await page.waitForSelector('#update:enabled');
        const shot = (name) => page.screenshot({ path: path.join(out, `page-${name}-${language}.png`), fullPage: true });
        await shot('connected');
        await q.startUpdate(page);
        await q.waitProgress(page, 0.4);
        await shot('updating');
        await page.click('#cancel');
        await q.ending(page);
    } finally {
        await context.close();
    }
}

(async () => {
    fs.mkdirSync(out, { recursive: true });
    const server = await serve(web);
    const chromium = await launch();
    try {
        for (const language of ['en', 'de'])
            await take(chromium.browser, server.url, language);
    } finally {
        await chromium.close();
        await server.close();
    }
    console.log(fs.readdirSync(out).filter((f) => f.startsWith('page-')).join('\n'));
})().catch((error) => {
    console.error(error.stack || String(error));
    process.exit(1);
});
