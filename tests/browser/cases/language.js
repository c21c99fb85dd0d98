'use strict';
// German: chosen with #language, or picked from the browser's language. The
// texts must be those of the desktop's catalogue, arguments filled in.
const assert = require('assert/strict');
const q = require('../lib/qelpage');
const { german } = require('../lib/catalogue');

const fill = (text, ...args) => args.reduce((t, a, i) => t.replace(`%${i + 1}`, a), text);
const label = (text) => text.replace('&', '');

module.exports = [
    {
        name: 'switched to German: labels, the verdict and an ending',
        options: { newFlash: true, factoryDefects: [3, 4, 5, 6] },
        async run({ page, url }) {
            await q.open(page, url);
            assert.equal(await q.text(page, '#connect'), label('&Connect'));
            await page.selectOption('#language', 'de');
            await page.waitForFunction((t) => document.querySelector('#connect').innerText.trim() === t,
                                       label(german('&Connect')), { timeout: q.Short });
            await q.connect(page);
            assert.ok((await q.text(page, '#status')).includes(
                fill(german('Firmware %1 is older than %2: an update is recommended.'), '1.08', '1.09')));
            await q.startUpdate(page);
            const end = await q.ending(page);
            assert.equal(end.outcome, 'flash_unhealthy');
            const expected = fill(german("The device's flash memory has %1 blocks that were faulty from the factory " +
                                         '(at most 3 are allowed), so it cannot be updated safely. Nothing was ' +
                                         'written. Please contact service.'), '4');
            assert.ok(end.text.includes(expected), `the ending reads "${end.text}"`);
        },
    },
    {
        name: "the browser's German picks German",
        options: {},
        locale: 'de-DE',
        async run({ page, url }) {
            await q.open(page, url);
            assert.equal(await page.$eval('#language', (s) => s.value), 'de');
            assert.equal(await q.text(page, '#connect'), label(german('&Connect')));
        },
    },
];
