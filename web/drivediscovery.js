#!/usr/bin/env node
// Discovery through the WebAssembly core, as a page drives it: Identify on
// each output qel_discovery_next_ask() names, each answer of the simulated
// Qel behind that output handed in with the input it answers on, a tick
// until the list is final. Exits 0 when every Qel on a port that is asked
// and heard is found at its pair, in the order of their serial numbers, in
// the search's duration; and when a simulated Qel with a failing erase and
// a factory defect reports both blocks bad.
//   node drivediscovery.js qelcore.js INPUTS OUTPUTS WIRING [LOSS]
//   WIRING: output:input pairs, one Qel each, "5:0,0:4,3:3"
'use strict';

const path = require('path');

const [modulePath, inputs, outputs, wiring, loss = '0'] = process.argv.slice(2);
if (!modulePath || wiring === undefined) {
    console.error('usage: node drivediscovery.js qelcore.js INPUTS OUTPUTS OUTPUT:INPUT,... [LOSS]');
    process.exit(2);
}

const WholeFlash = 0;
const MessageCapacity = 1024;
const MaxTicks = 1000;
const MaxPorts = 32;
const Serials = [90000001, 30000002, 60000003, 1234567];  // not in port order: the list is sorted by them

function fail(why) {
    console.error(why);
    process.exit(1);
}

require(path.resolve(modulePath))().then((core) => {
    const message = core._malloc(MessageCapacity);
    const identify = core._malloc(MessageCapacity);
    const identifyLength = core._qel_identify_message(identify, MessageCapacity);

    const qels = wiring.split(',').filter((w) => w).map((w, k) => {
        const [output, input] = w.split(':').map(Number);
        const device = core._qel_device_new(WholeFlash, Number(loss), k + 1);
        const serial = Serials[k % Serials.length] + k;
        const firmware = 0x0801 + (k << 8);
        core._qel_device_set_identity(device, serial, firmware);
        return {output, input, device, serial, firmware};
    });

    const discovery = core._qel_discovery_new(Number(inputs), Number(outputs));
    let asks = 0;
    const ask = () => {
        for (let out; (out = core._qel_discovery_next_ask(discovery)) >= 0;) {
            if (out >= Number(outputs))
                fail(`asked on output ${out} of ${outputs}`);
            ++asks;
            for (const qel of qels.filter((q) => q.output === out)) {
                const replies = core._qel_device_handle(qel.device, identify, identifyLength);
                for (let i = 0; i < replies; ++i) {
                    const length = core._qel_device_reply(qel.device, i, message, MessageCapacity);
                    core._qel_discovery_take_message(discovery, qel.input, message, length);
                }
            }
        }
    };
    let ticks = 0;
    ask();
    while (core._qel_discovery_tick(discovery) && ticks < MaxTicks) {
        ++ticks;
        ask();
    }
    ++ticks;

    const found = [];
    for (let i = 0; i < core._qel_discovery_found_count(discovery); ++i)
        found.push({
            input: core._qel_discovery_input(discovery, i),
            output: core._qel_discovery_output(discovery, i),
            firmware: core._qel_discovery_firmware(discovery, i),
            serialText: core.UTF8ToString(core._qel_discovery_serial_text(discovery, i)),
        });
    const expected = qels.filter((q) => q.input < Math.min(Number(inputs), MaxPorts) && q.output < Math.min(Number(outputs), MaxPorts))
        .sort((a, b) => a.serial - b.serial);
    const losses = qels.reduce((sum, q) => sum + core._qel_device_losses(q.device), 0);
    const show = (list) => list.map((d) => `${d.input}:${d.output}`).join(' ');
    console.log(`${inputs} inputs, ${outputs} outputs: found ${show(found) || 'none'} ` +
                `(serials ${found.map((d) => d.serialText).join(' ')}) after ${asks} asks and ${ticks} ticks, ` +
                `${losses} messages lost`);
    core._qel_discovery_free(discovery);

    // With nobody to ask or nowhere to hear, the first tick ends it.
    const searched = Number(inputs) > 0 && Number(outputs) > 0;
    const duration = searched ? core._qel_discovery_duration_ticks(Number(outputs)) : 1;
    if (ticks !== duration)
        fail(`the search took ${ticks} ticks, not ${duration}`);
    if (show(found) !== show(expected))
        fail(`expected ${show(expected) || 'none'}`);
    found.forEach((d, i) => {
        if (d.firmware !== expected[i].firmware)
            fail(`the Qel at ${d.input}:${d.output} reports firmware ${d.firmware}, not ${expected[i].firmware}`);
        if (!/^\d{3}-\d{3}-\d{3}$/.test(d.serialText) || found.some((e, j) => j !== i && e.serialText === d.serialText))
            fail(`serial number "${d.serialText}" is not one of its own`);
    });
    if ((losses > 0) !== (Number(loss) > 0))
        fail(`${losses} messages lost at a loss of ${loss}`);
    qels.forEach((q) => core._qel_device_free(q.device));

    // A Qel whose flash fails, played through the device's own interface:
    // the erase answers carry the status byte, 0 done, anything else failed.
    const device = core._qel_device_new(WholeFlash, 0, 1);
    core._qel_device_fail_erase(device, 5);
    core._qel_device_set_factory_defect(device, 7);
    const command = (code, args) => [0xF0, 0x00, 0x11, 0x22, 0x0A, 0, 0, 0, 0, code, ...args, 0xF7];
    const send = (bytes) => {
        core.HEAPU8.set(bytes, message);
        const replies = core._qel_device_handle(device, message, bytes.length);
        const answers = [];
        for (let i = 0; i < replies; ++i) {
            const length = core._qel_device_reply(device, i, message, MessageCapacity);
            answers.push(Array.from(core.HEAPU8.subarray(message, message + length)));
        }
        return answers;
    };
    const ResetNand = 14;
    const EraseBlock = 10;
    const StatusAt = 10;
    // 1.09, an image of 100000 bytes in four 7-bit groups, the confirmation.
    send(command(ResetNand, [1, 9, 100000 & 0x7F, (100000 >> 7) & 0x7F, 100000 >> 14, 0, 0x35, 0x1C, 0x62, 0x0B]));
    const erased = (block) => {
        const answers = send(command(EraseBlock, [0x7F, block & 0x7F, block >> 7]));
        if (answers.length !== 1)
            fail(`EraseBlock ${block} got ${answers.length} answers`);
        return answers[0][StatusAt] === 0;
    };
    const blocks = [4, 5, 6, 7].map((b) => `${b} ${erased(b) ? 'erased' : 'bad'}`);
    console.log(`erase on a Qel whose block 5 fails and block 7 is a factory defect: ${blocks.join(', ')}; ` +
                `${core._qel_device_violations(device)} violations`);
    if (blocks.join() !== '4 erased,5 bad,6 erased,7 bad' || core._qel_device_violations(device) !== 0)
        fail('expected blocks 5 and 7 bad, the others erased, no violations');
    core._qel_device_free(device);
    [message, identify].forEach((p) => core._free(p));
    process.exit(0);
});
