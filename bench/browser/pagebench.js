#!/usr/bin/env node
// The page's figures, not a test (docs/PERFORMANCE.md):
//  - the whole-image update against the page's own simulated Qel in headless
//    Chromium, against the same update of the core alone under node, the
//    WebAssembly module driven in a plain loop (as web/driveupdate.js does);
//  - the page's weight as served, the firmware image left out;
//  - pauses of the page's main thread during an update: long tasks (over
//    50 ms) from the Performance API, and V8's garbage collections from
//    Chromium's trace.
//   node bench/browser/pagebench.js WEB-FOLDER [--rounds N]
'use strict';

const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const { performance } = require('perf_hooks');

const testsLib = path.join(__dirname, '..', '..', 'tests', 'browser', 'lib');
const args = process.argv.slice(2);
const web = args.find((a) => !a.startsWith('--'));
const roundsAt = args.indexOf('--rounds');
const rounds = roundsAt >= 0 ? Number(args[roundsAt + 1]) : 3;
if (!web || !fs.existsSync(path.join(web, 'index.html'))) {
    console.error('usage: node bench/browser/pagebench.js WEB-FOLDER [--rounds N]   (WEB-FOLDER: build/web)');
    process.exit(2);
}
const isImage = (name) => /^qel-firmware-.*\.bin$/.test(name);
const imageName = fs.readdirSync(web).find(isImage);

const median = (xs) => [...xs].sort((a, b) => a - b)[xs.length >> 1];
const kB = (n) => `${(n / 1024).toFixed(1)} KiB`;

function pageWeight() {
    const files = [];
    const walk = (dir) => {
        for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
            const full = path.join(dir, entry.name);
            if (entry.isDirectory())
                walk(full);
            else if (!isImage(entry.name))
                files.push({ name: path.relative(web, full), bytes: fs.statSync(full).size,
                             gzip: zlib.gzipSync(fs.readFileSync(full), { level: 9 }).length });
        }
    };
    walk(web);
    files.sort((a, b) => b.bytes - a.bytes);
    const total = files.reduce((s, f) => s + f.bytes, 0);
    const gzip = files.reduce((s, f) => s + f.gzip, 0);
    console.log(`page weight, the image left out: ${total} bytes (${kB(total)}), gzipped ${kB(gzip)}; target at most 1 MB`);
    for (const f of files)
        console.log(`  ${f.name.padEnd(32)} ${String(f.bytes).padStart(9)} bytes  gzipped ${String(f.gzip).padStart(8)}`);
}

// The core alone: the session and the device model of the same module the
// page loads, driven in a loop with no event loop between messages.
async function nodeUpdate(image) {
    const core = await require(path.resolve(web, 'qelcore.js'))();
    const NoEvent = 0;
    const Connected = 2;
    const Running = -1;
    const capacity = 1024;
    const command = core._malloc(capacity);
    const reply = core._malloc(capacity);
    const imagePtr = core._malloc(image.length);
    core.HEAPU8.set(image, imagePtr);
    const device = core._qel_device_new(0, 0, 1);
    const session = core._qel_session_new();
    const pump = () => {
        const length = core._qel_session_next_command(session, command, capacity);
        const now = performance.now();
        if (length === 0) {
            core._qel_session_tick(session, now);
        } else {
            const replies = core._qel_device_handle(device, command, length);
            for (let i = 0; i < replies; ++i)
                core._qel_session_take_message(session, reply, core._qel_device_reply(device, i, reply, capacity), now);
        }
        while (core._qel_session_next_event(session) !== NoEvent)
            ;
    };
    core._qel_session_connect(session, performance.now());
    for (let i = 0; i < 1e6 && (core._qel_session_state(session) !== Connected || core._qel_session_measuring(session)); ++i)
        pump();
    const started = performance.now();
    core._qel_session_start_update(session, imagePtr, image.length, 0, started);
    while (core._qel_session_outcome(session) === Running)
        pump();
    const ms = performance.now() - started;
    const outcome = core.UTF8ToString(core._qel_outcome_name(core._qel_session_outcome(session)));
    const good = outcome === 'success' && core._qel_device_holds(device, imagePtr, image.length) === 1;
    core._qel_session_free(session);
    core._qel_device_free(device);
    [command, reply, imagePtr].forEach((p) => core._free(p));
    if (!good)
        throw new Error(`the update under node ended ${outcome}`);
    return ms;
}

// Marks when the page's state changes and keeps the long tasks, from
// before the page's scripts run.
function observe() {
    window.__qelBench = { marks: {}, longTasks: [] };
    new MutationObserver(() => {
        const s = document.body.dataset.state;
        if (!(s in window.__qelBench.marks))
            window.__qelBench.marks[s] = performance.now();
    }).observe(document, { attributes: true, subtree: true, attributeFilter: ['data-state'] });
    new PerformanceObserver((list) => {
        for (const e of list.getEntries())
            window.__qelBench.longTasks.push({ start: e.startTime, duration: e.duration });
    }).observe({ type: 'longtask' });
}

async function pageUpdate(browser, url, trace) {
    const { standIn } = require(path.join(testsLib, 'standin'));
    const q = require(path.join(testsLib, 'qelpage'));
    const context = await browser.newContext({ locale: 'en-US' });
    try {
        await standIn(context, {});
        await context.addInitScript(observe);
        const page = await context.newPage();
        await q.open(page, url);
        await q.connect(page);
        // Update waits for the timed reads after Connect.
        await page.waitForSelector('#update:enabled');
        if (trace)
            await browser.startTracing(page, { categories: ['devtools.timeline', 'disabled-by-default-v8.gc', 'v8'] });
        const commandsBefore = (await q.simulated(page)).commands;
        await q.startUpdate(page);
        const end = await q.ending(page, 600000);
        const commands = (await q.simulated(page)).commands - commandsBefore;
        const traced = trace ? JSON.parse(await browser.stopTracing()) : null;
        if (end.outcome !== 'success' || !(await q.holdsImage(page)).holds)
            throw new Error(`the update in the page ended ${end.outcome}`);
        const bench = await page.evaluate(() => window.__qelBench);
        const from = bench.marks.updating;
        const to = bench.marks.ended;
        const longTasks = bench.longTasks.filter((t) => t.start + t.duration >= from && t.start <= to);
        return { ms: to - from, commands, longTasks, traced };
    } finally {
        await context.close();
    }
}

// V8's collections on the page's main thread during the update, from the
// trace: the pauses (MinorGC, MajorGC) and V8's own finer events.
function collections(traced) {
    const events = traced.traceEvents || traced;
    const threads = new Map();
    for (const e of events) {
        if (e.name === 'thread_name' && e.args && e.args.name === 'CrRendererMain')
            threads.set(`${e.pid}:${e.tid}`, true);
    }
    const onMain = (e) => threads.has(`${e.pid}:${e.tid}`);
    const pauses = events.filter((e) => onMain(e) && e.ph === 'X' && /^(Minor|Major)GC$/.test(e.name));
    const v8 = events.filter((e) => onMain(e) && e.ph === 'X' && /^V8\.GC/.test(e.name) && e.dur !== undefined);
    const longest = (xs) => xs.reduce((m, e) => (e.dur > m.dur ? e : m), { dur: 0, name: 'none' });
    return { pauses, v8, longestPause: longest(pauses), longestV8: longest(v8) };
}

async function main() {
    pageWeight();
    const image = fs.readFileSync(path.join(web, imageName));
    const { launch } = require(path.join(testsLib, 'browser'));
    const { serve } = require(path.join(testsLib, 'server'));
    const server = await serve(web);
    const chromium = await launch();
    try {
        const inNode = [];
        const inPage = [];
        let commands = 0;
        let longTasks = [];
        for (let r = 0; r < rounds; ++r) {
            inNode.push(await nodeUpdate(image));
            const run = await pageUpdate(chromium.browser, server.url, false);
            inPage.push(run.ms);
            commands = run.commands;
            longTasks = longTasks.concat(run.longTasks);
            console.log(`round ${r + 1}: node ${(inNode[r] / 1000).toFixed(2)} s, page ${(inPage[r] / 1000).toFixed(2)} s, ` +
                        `ratio ${(inPage[r] / inNode[r]).toFixed(2)}; long tasks ${run.longTasks.length}`);
        }
        const ratio = median(inPage) / median(inNode);
        console.log(`whole image (${image.length} bytes): page ${(median(inPage) / 1000).toFixed(2)} s, core under node ` +
                    `${(median(inNode) / 1000).toFixed(2)} s (medians of ${rounds}): ${ratio.toFixed(2)} times; target at most 2`);
        const us = (ms) => ((1000 * ms) / commands).toFixed(1);
        console.log(`per exchange (${commands}): page ${us(median(inPage))} µs, core under node ${us(median(inNode))} µs`);
        const worst = longTasks.reduce((m, t) => Math.max(m, t.duration), 0);
        console.log(`long tasks (over 50 ms) during the updates: ${longTasks.length}, the longest ${worst.toFixed(0)} ms`);

        const traced = await pageUpdate(chromium.browser, server.url, true);
        const gc = collections(traced.traced);
        const ms = (e) => (e.dur / 1000).toFixed(2);
        console.log(`traced update (${(traced.ms / 1000).toFixed(2)} s): ${gc.pauses.length} collections on the main thread ` +
                    `(${gc.pauses.filter((e) => e.name === 'MinorGC').length} minor, ${gc.pauses.filter((e) => e.name === 'MajorGC').length} major), ` +
                    `the longest ${gc.longestPause.name} ${ms(gc.longestPause)} ms, ` +
                    `in all ${(gc.pauses.reduce((s, e) => s + e.dur, 0) / 1000).toFixed(1)} ms; ` +
                    `V8's longest GC event ${gc.longestV8.name} ${ms(gc.longestV8)} ms; target none over 50 ms`);
    } finally {
        await chromium.close();
        await server.close();
    }
}

main().catch((error) => {
    console.error(error.stack || String(error));
    process.exit(1);
});
