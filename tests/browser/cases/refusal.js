'use strict';
// When Web MIDI cannot be used the page says what to do in a plain sentence.
// The first case is the real Chromium, without the stand-in: on a machine
// without a MIDI system (no ALSA) and without the permission given, it
// refuses requestMIDIAccess.
const assert = require('assert/strict');
const q = require('../lib/qelpage');

async function refusal(page) {
    await q.waitState(page, 'refused');
    assert.ok(await page.isVisible('#refusal'), '#refusal must be shown');
    const sentence = await q.text(page, '#refusal-text');
    assert.doesNotMatch(sentence, /Error|\bat .*:\d+|undefined/, 'a plain sentence, not an error');
    return sentence;
}

module.exports = [
    {
        name: 'the real Chromium refuses: the permission sentence',
        options: null,
        async run({ page, url }) {
            await page.goto(url);
            assert.match(await refusal(page), /not allowed to use MIDI devices.*site settings/);
        },
    },
    {
        name: 'no Web MIDI at all: which browsers have it',
        options: null,
        async run({ page, url }) {
            await page.addInitScript(() => { delete Navigator.prototype.requestMIDIAccess; });
            await page.goto(url);
            assert.match(await refusal(page), /has no Web MIDI.*Chrome, Edge or Opera/);
        },
    },
];
