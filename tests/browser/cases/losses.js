'use strict';
// Lost commands and replies on both kinds of Qel: the update recovers them
// as the desktop does and ends with exactly the image. The rates are small,
// since each loss costs real ticks of waiting, yet lose hundreds of messages.
const assert = require('assert/strict');
const q = require('../lib/qelpage');

const rows = [
    { reads: 'whole', loss: 0.002, seed: 3 },
    { reads: 'block0', loss: 0.004, seed: 5 },
];

module.exports = rows.map((row) => ({
    name: `${row.reads}: one message in ${1 / row.loss} lost`,
    options: row,
    limit: 150000,
    async run({ page, url }) {
        await q.open(page, url);
        await q.connect(page);
        await q.startUpdate(page);
        const end = await q.ending(page);
        assert.equal(end.outcome, 'success', end.text);
        assert.equal((await q.holdsImage(page)).holds, true);
        const qel = await q.simulated(page);
        assert.equal(qel.violations, 0);
        assert.ok(qel.losses > 20, `only ${qel.losses} messages were lost`);
        const log = (await q.logLines(page)).join('\n');
        assert.match(log, /again/, 'the log tells what was asked or written again');
    },
}));
