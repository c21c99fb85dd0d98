#!/usr/bin/env node
// A whole update through the WebAssembly core's session, as the page drives
// it: Connect, the greeting and the timed reads, the question's duration, the
// update, and the device asked again after a success. Each command taken
// goes to the simulated Qel and each reply comes back; a tick passes whenever
// nothing is in flight (a lost message), and the clock is the script's own,
// so nothing here waits. Exits 0 when the update ended as expected, the Qel
// holds the image exactly when it was written, and it saw nothing wrong.
//   node driveupdate.js qelcore.js READS LOSS SEED VERIFY EXPECTED
//   READS: whole | block0; EXPECTED: success, not_verified, ...
// A device that never answers is not connected (QEL_EVENT_NO_ANSWER); the
// update is started anyway, to see the engine give up on it.
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
const TickMs = 10;
const ExchangeMs = 0.5;       // the simulated link's round trip, on the script's clock
const Event = {NONE: 0, CONNECTED: 1, NO_ANSWER: 2, MEASURED: 3, PROGRESS: 4, TRACE: 5, VERDICT: 6, FINISHED: 7};
const After = ['not asked', 'asking', 'running', 'not running'];

function makeImage(size) {
    const image = new Uint8Array(size);
    let x = 0xC0FFEE;
    for (let i = 0; i < size; ++i) {
        x = (Math.imul(x, 1664525) + 1013904223) >>> 0;
        image[i] = x >>> 24;
    }
    return image;
}

// The phrase as the catalogue's English: source texts with their arguments put in.
function english(phrase) {
    if (typeof phrase === 'string')
        return phrase;
    if (Array.isArray(phrase))
        return phrase.map(english).join('');
    const args = phrase.args.map(english);
    return phrase.text.replace(/%([1-9])/g, (all, n) => (n <= args.length ? args[n - 1] : all));
}

require(path.resolve(modulePath))().then((core) => {
    const text = (pointer) => english(JSON.parse(core.UTF8ToString(pointer)));
    const image = makeImage(ImageBytes);
    const imagePtr = core._malloc(image.length);
    core.HEAPU8.set(image, imagePtr);
    const command = core._malloc(MessageCapacity);
    const reply = core._malloc(MessageCapacity);

    const device = core._qel_device_new(reads === 'block0' ? 1 : 0, Number(loss), Number(seed) >>> 0);
    const session = core._qel_session_new();
    let now = 0;
    let commands = 0;
    let ticks = 0;
    const seen = {};
    let traces = 0;
    let progressTwice = false;

    // Events of one call: progress comes at most once.
    const takeEvents = () => {
        let progressInCall = 0;
        for (let e; (e = core._qel_session_next_event(session)) !== Event.NONE;) {
            seen[e] = (seen[e] || 0) + 1;
            if (e === Event.TRACE && text(core._qel_session_trace(session)).length > 0)
                ++traces;
            if (e === Event.PROGRESS && ++progressInCall > 1)
                progressTwice = true;
        }
    };
    // Sends what waits, or lets a tick pass; false once nothing can move any more.
    const step = () => {
        const length = core._qel_session_next_command(session, command, MessageCapacity);
        if (length === 0) {
            now += TickMs;
            core._qel_session_tick(session, now);
            ++ticks;
        } else {
            ++commands;
            now += ExchangeMs;
            const replies = core._qel_device_handle(device, command, length);
            for (let i = 0; i < replies; ++i) {
                const size = core._qel_device_reply(device, i, reply, MessageCapacity);
                core._qel_session_take_message(session, reply, size, now);
            }
        }
        takeEvents();
        return ticks < MaxTicks && commands < MaxCommands;
    };

    core._qel_session_connect(session, now);
    while (!seen[Event.MEASURED] && !seen[Event.NO_ANSWER] && step()) {}
    const connected = core._qel_session_state(session) === 2;
    const expectedMs = core._qel_session_expected_ms(session, image.length, Number(verify));
    const question = text(core._qel_session_confirmation(session, image.length, Number(verify)));
    console.log(connected
        ? `Qel ${core.UTF8ToString(core._qel_session_serial_text(session))}, firmware ` +
          `${core.UTF8ToString(core._qel_version_text(core._qel_session_firmware(session)))}: ` +
          `${text(core._qel_session_verdict(session))} Expected ${expectedMs} ms.`
        : text(core._qel_no_answer_phrase()));

    core._qel_session_start_update(session, imagePtr, image.length, Number(verify), now);
    takeEvents();
    while (!seen[Event.FINISHED] && step()) {}

    const outcome = core.UTF8ToString(core._qel_outcome_name(core._qel_session_outcome(session)));
    const written = outcome === 'success' || outcome === 'not_verified';
    const holds = core._qel_device_holds(device, imagePtr, image.length) === 1;
    const violations = core._qel_device_violations(device);
    const after = core._qel_session_after_update(session);
    console.log(`${reads} device, loss ${loss}, seed ${seed}${verify === '1' ? ', verifying' : ''}: ${outcome} ` +
                `after ${commands} commands and ${ticks} ticks, ${core._qel_device_losses(device)} messages lost; ` +
                `pages ${core._qel_session_pages_done(session)}/${core._qel_session_pages_total(session)}, ` +
                `${seen[Event.PROGRESS] || 0} progress events, ${traces} log lines; ` +
                `image ${holds ? 'held' : 'not held'}, ${violations} violations; after the update: ${After[after]}`);
    console.log(text(core._qel_session_message(session)));

    const problems = [];
    if (outcome !== expected)
        problems.push(`expected ${expected}`);
    if (violations !== 0)
        problems.push('violations');
    if (holds !== written)
        problems.push('the image held only when written');
    if (connected !== (Number(loss) < 1))
        problems.push('connected exactly when the device answers');
    if (connected && !(expectedMs > 0 && question.includes('1.09') && question.includes('\n\n')))
        problems.push('a measured duration and a question naming 1.09');
    if (progressTwice)
        problems.push('at most one progress event a call');
    if (outcome === 'success' && After[after] !== 'running' && After[after] !== 'not running')
        problems.push('the device asked after a success');
    core._qel_session_free(session);
    core._qel_device_free(device);
    [imagePtr, command, reply].forEach((p) => core._free(p));
    if (problems.length > 0)
        console.error(`wrong: ${problems.join('; ')}`);
    process.exit(problems.length === 0 ? 0 : 1);
});
