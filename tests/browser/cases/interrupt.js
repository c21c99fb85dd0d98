'use strict';
// An update stopped on the way: by Cancel, after which Update works again,
// and by the ports leaving the system, which the port lists follow.
const assert = require('assert/strict');
const q = require('../lib/qelpage');

module.exports = [
    {
        name: 'cancel a fifth of the way, then update again',
        options: {},
        async run({ page, url }) {
            await q.open(page, url);
            await q.connect(page);
            await q.startUpdate(page);
            await q.waitProgress(page, 0.2);
            // The whole update takes a fraction of a second here: the replies
            // wait while the question is asked, so that Cancel meets it running.
            await page.evaluate(() => window.__qelTestAccess.simulated.hold());
            await page.click('#cancel');
            await page.waitForSelector('#confirm[open]');
            await page.click('#confirm-yes');
            await page.evaluate(() => window.__qelTestAccess.simulated.release());
            let end = await q.ending(page);
            assert.equal(end.outcome, 'cancelled', end.text);
            assert.match(end.text, /stopped before it was complete/);
            assert.equal((await q.holdsImage(page)).holds, false);
            await page.click('#ending-ok');
            await q.startUpdate(page);
            end = await q.ending(page);
            assert.equal(end.outcome, 'success', end.text);
            assert.equal((await q.holdsImage(page)).holds, true);
            assert.equal((await q.simulated(page)).violations, 0);
        },
    },
    {
        name: 'the ports unplugged a third of the way',
        options: {},
        async run({ page, url }) {
            await q.open(page, url);
            await q.connect(page);
            await q.startUpdate(page);
            await q.waitProgress(page, 0.33);
            await page.evaluate(() => {
                window.__qelTestAccess.simulated.hold();
                window.__qelTestAccess.simulated.unplug();
            });
            const end = await q.ending(page);
            assert.equal(end.outcome, 'port_gone', end.text);
            assert.match(end.text, /MIDI port went away/);
            for (const list of ['#midi-in', '#midi-out']) {
                const names = await page.$$eval(`${list} option`, (o) => o.map((x) => x.textContent));
                assert.ok(!names.some((n) => /Qel/.test(n)), `${list} still offers ${names.join(', ')}`);
            }
        },
    },
];
