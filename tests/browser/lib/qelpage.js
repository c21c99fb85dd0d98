'use strict';
// What the tests do with the page, through the ids and states it promises
// (body data-state, data-outcome) and the simulated Qel's hooks. Every wait
// is on the page's own state, with a generous limit, never a fixed sleep.
const assert = require('assert/strict');

const Long = 150000;   // an update, lost messages included
const Short = 20000;   // anything else

async function waitState(page, states, timeout = Short) {
    const wanted = [].concat(states);
    try {
        await page.waitForFunction((s) => s.includes(document.body && document.body.dataset.state),
                                   wanted, { timeout, polling: 50 });
    } catch (error) {
        throw new Error(`the page stayed '${await state(page)}' instead of becoming ${wanted.join(' or ')}` +
                        `; status: "${await text(page, '#status')}"`);
    }
}

function state(page) {
    return page.evaluate(() => document.body && document.body.dataset.state).catch(() => '?');
}

function text(page, selector) {
    return page.locator(selector).innerText().then((t) => t.trim()).catch(() => '');
}

// The page opened with the stand-in (or without): it has asked for MIDI
// access and settled.
async function open(page, url, { settled = ['idle', 'refused'] } = {}) {
    await page.goto(url);
    await waitState(page, settled);
}

async function connect(page) {
    await page.click('#connect');
    await waitState(page, 'connected');
}

// Update pressed and the question answered yes; returns the question.
async function startUpdate(page) {
    await page.click('#update');
    await page.waitForSelector('#confirm[open]', { timeout: Short });
    const question = await text(page, '#confirm-text');
    await page.click('#confirm-yes');
    await waitState(page, ['updating', 'ended']);
    return question;
}

async function ending(page, timeout = Long) {
    await waitState(page, 'ended', timeout);
    await page.waitForSelector('#ending[open]', { timeout: Short });
    return {
        outcome: await page.evaluate(() => document.body.dataset.outcome),
        title: await text(page, '#ending-title'),
        text: await text(page, '#ending-text'),
        status: await text(page, '#status'),
    };
}

// The simulated Qel's view of the update.
function simulated(page) {
    return page.evaluate(() => {
        const s = window.__qelTestAccess.simulated;
        return { violations: s.violations(), losses: s.losses(), firmware: s.firmware(), commands: s.commands() };
    });
}

// Whether the Qel would boot the image the page serves, and, so that a model
// that always says yes is caught, whether it would boot that image with one
// byte changed.
function holdsImage(page, file = 'qel-firmware-1.09.bin') {
    return page.evaluate(async (name) => {
        const bytes = new Uint8Array(await (await fetch(name)).arrayBuffer());
        const s = window.__qelTestAccess.simulated;
        const holds = s.holds(bytes);
        bytes[bytes.length >> 1] ^= 0x5A;
        return { size: bytes.length, holds, holdsChanged: s.holds(bytes) };
    }, file);
}

// Every line the log showed since the page loaded (keepingLog).
function logLines(page) {
    return page.evaluate(() => window.__qelTestLog);
}

// On a link that loses nothing, nothing may be asked or written again: a
// reply that the page failed to hand on shows here first.
async function assertNothingAgain(page) {
    const again = (await logLines(page)).filter((l) => /lost, asking again|again$/.test(l.trim()));
    assert.deepEqual(again, [], 'a loss-free update asked or wrote again');
}

function progress(page) {
    return page.evaluate(() => {
        const bar = document.querySelector('#progress');
        return { value: bar.value, max: bar.max, text: document.querySelector('#progress-text').innerText.trim() };
    });
}

// Waits until the update has written at least `share` of its pages.
async function waitProgress(page, share, timeout = Long) {
    await page.waitForFunction((s) => {
        const bar = document.querySelector('#progress');
        return document.body.dataset.state !== 'updating' || (bar.max > 0 && bar.value >= s * bar.max);
    }, share, { timeout, polling: 20 });
    assert.equal(await state(page), 'updating', 'the update ended before it was interrupted');
}

module.exports = { Long, Short, waitState, state, text, open, connect, startUpdate, ending,
                   simulated, holdsImage, logLines, assertNothingAgain, progress, waitProgress };
