'use strict';
// Flash faults on both kinds of Qel (one that reads the whole flash back,
// one that reads block 0 only): a block whose erase or programming fails is
// skipped and the update still succeeds with the image intact; more than
// three factory defects stop it before anything is written.
const assert = require('assert/strict');
const q = require('../lib/qelpage');

async function update(page, url) {
    await q.open(page, url);
    await q.connect(page);
    await q.startUpdate(page);
    return q.ending(page);
}

const skipped = [];
for (const reads of ['whole', 'block0']) {
    skipped.push(
        { name: `${reads}: the erase of block 5 fails`, options: { reads, failErase: [5] }, log: [/Erase block 5 FAIL/] },
        { name: `${reads}: programming page 3 of block 7 fails`, options: { reads, failProgram: [[7, 3]] }, log: [/FAIL!/, /Block 7 is marked as bad/] });
}

module.exports = [
    ...skipped.map((row) => ({
        name: row.name,
        options: row.options,
        async run({ page, url }) {
            const end = await update(page, url);
            assert.equal(end.outcome, 'success', end.text);
            const image = await q.holdsImage(page);
            assert.equal(image.holds, true, 'the Qel must hold the image despite the bad block');
            assert.equal((await q.simulated(page)).violations, 0);
            const log = (await q.logLines(page)).join('\n');
            for (const line of row.log)
                assert.match(log, line);
            await q.assertNothingAgain(page);
        },
    })),
    ...['whole', 'block0'].map((reads) => ({
        name: `${reads}: a new flash with four factory defects: not healthy, nothing written`,
        options: { reads, newFlash: true, factoryDefects: [10, 11, 12, 13] },
        async run({ page, url }) {
            const end = await update(page, url);
            assert.equal(end.outcome, 'flash_unhealthy', end.text);
            assert.match(end.text, /4 blocks that were faulty from the factory/);
            assert.match(end.text, /at most 3 are allowed/);
            assert.equal((await q.holdsImage(page)).holds, false);
            const qel = await q.simulated(page);
            assert.equal(qel.firmware, 0x0801, 'the Qel keeps its firmware');
            assert.equal(qel.violations, 0);
        },
    })),
];
