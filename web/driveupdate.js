#!/usr/bin/env node
// A whole update through the WebAssembly core, as a page would drive it:
// each command taken from the engine goes to the simulated Qel, each reply
// goes back, and a tick passes whenever nothing is in flight (a lost
// message). Exits 0 when the update ended as expected, the Qel holds the
// image exactly when it was written, and saw nothing wrong.
//   node driveupdate.js qelcore.js READS LOSS SEED VERIFY EXPECTED
//   READS: whole | block0; EXPECTED: success, not_verified, ...
'use strict';

const path = require('path');

const [modulePath, reads = 'whole', loss = '0', seed = '1', verify = '0', expected = 'success'] =
    process.argv.slice(2);
if (!modulePath) {
    console.error('usage: node driveupdate.js qelcore.js [whole|block0] [loss] [seed] [verify 0|1] [expected]');
    process.exit(2);
}

const PageBytes = 2048;
const ImageBytes = 70 * PageBytes - 77;  // more than a block, the last page short
const MessageCapacity = 1024;
const MaxTicks = 200000;
const MaxCommands = 200000;  // an update that talks in circles ends the run, it does not hang it
const Running = -1;

function makeImage(size) {
    const image = new Uint8Array(size);
    let x = 0xC0FFEE;
    for (let i = 0; i < size; ++i) {
        x = (Math.imul(x, 1664525) + 1013904223) >>> 0;
        image[i] = x >>> 24;
    }
    return image;
}

require(path.resolve(modulePath))().then((core) => {
    const image = makeImage(ImageBytes);
    const imagePtr = core._malloc(image.length);
    core.HEAPU8.set(image, imagePtr);
    const command = core._malloc(MessageCapacity);
    const reply = core._malloc(MessageCapacity);

    const device = core._qel_device_new(reads === 'block0' ? 1 : 0, Number(loss), Number(seed) >>> 0);
    const update = core._qel_update_new();
    core._qel_update_start(update, imagePtr, image.length, Number(verify));

    let commands = 0;
    let ticks = 0;
    while (core._qel_update_outcome(update) === Running && ticks < MaxTicks && commands < MaxCommands) {
        const length = core._qel_update_next_command(update, command, MessageCapacity);
        if (length === 0) {
            core._qel_update_tick(update);
            ++ticks;
            continue;
        }
        ++commands;
        const replies = core._qel_device_handle(device, command, length);
        for (let i = 0; i < replies; ++i) {
            const size = core._qel_device_reply(device, i, reply, MessageCapacity);
            core._qel_update_take_message(update, reply, size);
        }
    }

    const outcome = core.UTF8ToString(core._qel_outcome_name(core._qel_update_outcome(update)));
    const written = outcome === 'success' || outcome === 'not_verified';
    const holds = core._qel_device_holds(device, imagePtr, image.length) === 1;
    const violations = core._qel_device_violations(device);
    const firmware = core._qel_device_firmware(device);
    console.log(`${reads} device, loss ${loss}, seed ${seed}${verify === '1' ? ', verifying' : ''}: ${outcome} ` +
                `after ${commands} commands and ${ticks} ticks, ${core._qel_device_losses(device)} messages lost; ` +
                `pages ${core._qel_update_pages_done(update)}/${core._qel_update_pages_total(update)}; ` +
                `image ${holds ? 'held' : 'not held'}, ${violations} violations, ` +
                `firmware ${firmware & 0xFF}.${String(firmware >> 8).padStart(2, '0')}`);

    core._qel_update_free(update);
    core._qel_device_free(device);
    [imagePtr, command, reply].forEach((p) => core._free(p));
    const good = outcome === expected && violations === 0 && holds === written;
    if (!good)
        console.error(`expected ${expected}, no violations, and the image held only when written`);
    process.exit(good ? 0 : 1);
});
