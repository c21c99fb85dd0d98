'use strict';
// Whole-image updates: the question, the progress, the ending in words, and
// the image the simulated Qel would boot, compared byte for byte.
const assert = require('assert/strict');
const q = require('../lib/qelpage');

const ImageBytes = 3915900;

module.exports = [
    {
        name: 'the whole image, written and checked byte for byte',
        options: {},
        async run({ page, url }) {
            await q.open(page, url);
            await q.connect(page);
            const question = await q.startUpdate(page);
            assert.match(question, /1\.08/);
            assert.match(question, /1\.09/);
            assert.match(question, /\d+ (s|min)/, 'the question names the duration');
            const end = await q.ending(page);
            assert.equal(end.outcome, 'success', end.text);
            assert.match(end.text, /now carries firmware 1\.09/);
            assert.match(end.status, /1\.09/);
            assert.equal(await q.text(page, '#version'), '1.09');
            const image = await q.holdsImage(page);
            assert.equal(image.size, ImageBytes);
            assert.equal(image.holds, true, 'the Qel must hold the image');
            assert.equal(image.holdsChanged, false);
            const qel = await q.simulated(page);
            assert.equal(qel.violations, 0);
            assert.equal(qel.firmware, 0x0901);
            const bar = await q.progress(page);
            assert.ok(bar.max > 0 && bar.value === bar.max, `progress ${bar.value}/${bar.max}`);
            assert.match(bar.text, /100\s*%/);
            const log = await q.logLines(page);
            assert.ok(log.some((l) => /Finish/.test(l)), 'the log tells the end of the writing');
            await q.assertNothingAgain(page);
        },
    },
    {
        name: 'a damaged image: nothing sent, the desktop\'s message',
        options: {},
        async run({ page, context, url }) {
            // The image served with one byte changed: same size, another SHA-256.
            await context.route('**/qel-firmware-*.bin', async (route) => {
                const response = await route.fetch();
                const bytes = Buffer.from(await response.body());
                bytes[1000] ^= 1;
                await route.fulfill({ response, body: bytes });
            });
            await q.open(page, url);
            await q.connect(page);
            await page.waitForSelector('#update:enabled');
            const before = await q.simulated(page);
            await page.click('#update');
            const end = await q.ending(page, q.Short);
            assert.equal(end.outcome, 'no_image', end.text);
            assert.match(end.text, /image built into the updater is damaged, so nothing was sent/);
            const after = await q.simulated(page);
            assert.equal(after.commands, before.commands, 'nothing may be sent');
            assert.equal(after.firmware, 0x0801);
        },
    },
    {
        name: 'verify after writing on a Qel that reads block 0 only: written, not verified',
        options: { reads: 'block0' },
        async run({ page, url }) {
            await q.open(page, url);
            await page.check('#verify');
            await q.connect(page);
            await q.startUpdate(page);
            const end = await q.ending(page);
            assert.equal(end.outcome, 'not_verified', end.text);
            assert.match(end.text, /not checked/);
            await q.assertNothingAgain(page);
            assert.equal((await q.holdsImage(page)).holds, true);
            assert.equal((await q.simulated(page)).violations, 0);
        },
    },
];
