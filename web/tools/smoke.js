#!/usr/bin/env node
// A quick look at the built page in headless Chromium, driven over the
// DevTools protocol on a pipe (nothing to install from npm): serves
// build/web/, opens it with the given query, clicks through Connect and
// Update on the simulated Qel, and prints what the page shows. Exits 0 when
// the update ended as expected.
//   node smoke.js [FOLDER] [QUERY] [EXPECTED]   (build/web, ?sim, success)
// For looking, not testing: the browser tests judge the page.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const folder = path.resolve(process.argv[2] || path.join(__dirname, '..', '..', 'build', 'web'));
const query = process.argv[3] ?? '?sim';
const expected = process.argv[4] || 'success';
const chromium = process.env.CHROMIUM || 'chromium';
const limitMs = 180000;

function serve() {
    return new Promise((resolve, reject) => {
        const server = spawn(process.execPath, [path.join(__dirname, '..', 'serve.js'), folder],
                             { env: { ...process.env, QEL_WEB_PORT: '0' }, stdio: ['ignore', 'pipe', 'inherit'] });
        server.stdout.on('data', (chunk) => {
            const match = /http:\/\/127\.0\.0\.1:\d+\//.exec(String(chunk));
            if (match)
                resolve({ server, address: match[0] });
        });
        server.on('exit', (code) => reject(new Error(`serve.js ended with ${code}`)));
    });
}

function browser() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'qel-smoke-'));
    const chrome = spawn(chromium, [
        '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--no-first-run', `--user-data-dir=${profile}`,
        '--remote-debugging-pipe', 'about:blank'], { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
    let next = 1;
    const waiting = new Map();
    let pending = '';
    chrome.stdio[4].on('data', (chunk) => {
        pending += chunk;
        for (let end; (end = pending.indexOf('\0')) >= 0;) {
            const message = JSON.parse(pending.slice(0, end));
            pending = pending.slice(end + 1);
            const call = waiting.get(message.id);
            if (call) {
                waiting.delete(message.id);
                message.error ? call.reject(new Error(message.error.message)) : call.resolve(message.result);
            }
        }
    });
    const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
        const id = next++;
        waiting.set(id, { resolve, reject });
        chrome.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0');
    });
    const close = () => {
        chrome.kill();
        fs.rmSync(profile, { recursive: true, force: true });
    };
    return { send, close };
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function main() {
    const { server, address } = await serve();
    const chrome = browser();
    const started = Date.now();
    try {
        const { targetId } = await chrome.send('Target.createTarget', { url: address + query });
        const { sessionId } = await chrome.send('Target.attachToTarget', { targetId, flatten: true });
        const page = async (expression) => {
            const { result, exceptionDetails } = await chrome.send('Runtime.evaluate',
                { expression, awaitPromise: true, returnByValue: true }, sessionId);
            if (exceptionDetails)
                throw new Error(exceptionDetails.exception ? exceptionDetails.exception.description : exceptionDetails.text);
            return result.value;
        };
        const state = () => page('document.body.dataset.state');
        const until = async (wanted) => {
            while (!wanted.includes(await state())) {
                if (Date.now() - started > limitMs)
                    throw new Error(`still ${await state()} after ${limitMs} ms`);
                await sleep(50);
            }
            return state();
        };
        const shown = () => page(`JSON.stringify({
            state: document.body.dataset.state, outcome: document.body.dataset.outcome,
            in: document.getElementById('midi-in').value, out: document.getElementById('midi-out').value,
            serial: document.getElementById('serial').textContent, version: document.getElementById('version').textContent,
            status: document.getElementById('status').textContent,
            refusal: document.getElementById('refusal').hidden ? '' : document.getElementById('refusal-text').textContent,
            progress: document.getElementById('progress-text').textContent,
            log: document.getElementById('log').childElementCount })`);

        if (await until(['idle', 'refused']) === 'refused') {
            console.log(await shown());
            return expected === 'refused';
        }
        console.log('found:', await shown());
        await page("document.getElementById('connect').click()");
        await until(['connected', 'idle']);
        while (await page("document.getElementById('update').disabled") && await state() === 'connected')
            await sleep(50);
        console.log('connected:', await shown());
        await page("document.getElementById('update').click()");
        while (!await page("document.getElementById('confirm').open"))
            await sleep(20);
        console.log('question:', await page("document.getElementById('confirm-text').textContent"));
        const begun = Date.now();
        await page("document.getElementById('confirm-yes').click()");
        await until(['updating']);
        await until(['ended']);
        console.log(`ended after ${Date.now() - begun} ms:`, await shown());
        console.log('dialog:', await page("document.getElementById('ending-text').textContent"));
        return (await page('document.body.dataset.outcome')) === expected;
    } finally {
        chrome.close();
        server.kill();
    }
}

main().then((good) => process.exit(good ? 0 : 1), (error) => {
    console.error(error.message);
    process.exit(1);
});
