'use strict';
// Finding the Qel and connecting: the ports the page preselects by asking,
// what it asked Web MIDI for, the serial number, the version and the verdict
// against the carried 1.09, for a device older, as new and newer.
const assert = require('assert/strict');
const q = require('../lib/qelpage');

const rows = [
    { name: '1.08, the shipped default', options: {}, serial: '586-638-764', version: '1.08', verdict: /Firmware 1\.08 is older than 1\.09/ },
    { name: '1.09 already', options: { serial: 123123123, firmware: 0x0901 }, serial: '223-335-141', version: '1.09',
      verdict: /Firmware 1\.09 is already up to date/ },
    { name: 'newer than 1.09', options: { firmware: 0x0A01 }, serial: '586-638-764', version: '1.10', verdict: /Firmware 1\.10 is newer than 1\.09/ },
];

module.exports = [...rows.map((row) => ({
    name: row.name,
    options: row.options,
    async run({ page, url }) {
        await q.open(page, url);
        assert.equal(await q.state(page), 'idle');
        assert.match(await q.text(page, '#status'), new RegExp(`Qel ${row.serial} found on`));
        const asked = await page.evaluate(() => window.__qelTestAsked);
        assert.equal(asked && asked.sysex, true, 'the page must ask for SysEx');
        for (const list of ['#midi-in', '#midi-out']) {
            const chosen = await page.$eval(list, (s) => (s.selectedOptions[0] ? s.selectedOptions[0].textContent : ''));
            assert.match(chosen, /Qel \(simulated\)/, `${list} should preselect the Qel`);
        }
        await q.connect(page);
        assert.equal(await q.text(page, '#serial'), row.serial);
        assert.equal(await q.text(page, '#version'), row.version);
        assert.match(await q.text(page, '#status'), row.verdict);
    },
})), {
    name: 'the demo without the stand-in: ?sim',
    options: null,
    async run({ page, url }) {
        await q.open(page, `${url}?sim`);
        assert.equal(await page.isChecked('#simulate'), true);
        await q.connect(page);
        assert.equal(await q.text(page, '#serial'), '586-638-764');
    },
}];
