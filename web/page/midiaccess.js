// Web MIDI, or why it cannot be had: resolves to { access } or { refusal },
// the refusal a key of QelPageTexts and what it says about the error.

import { simulatedAccess } from './simmidi.js';

function refusal(key, detail = '') {
    return { refusal: key, detail };
}

export async function midiAccess(simulate, simulateOptions) {
    if (simulate)
        return { access: await simulatedAccess(simulateOptions) };
    // Chromium offers Web MIDI to secure contexts only: there it is missing
    // for this reason, not for want of a browser that has it.
    if (!window.isSecureContext)
        return refusal('notSecure');
    if (typeof navigator.requestMIDIAccess !== 'function')
        return refusal('noWebMidi');
    let access;
    try {
        access = await navigator.requestMIDIAccess({ sysex: true });
    } catch (error) {
        switch (error && error.name) {
        case 'NotAllowedError':
        case 'SecurityError':
            return refusal('denied');
        case 'InvalidStateError':  // Chromium without a MIDI system (Linux without ALSA)
            return refusal('noMidiSystem');
        case 'NotSupportedError':
            return refusal('noWebMidi');
        default:
            return refusal('refusedOther', (error && error.name) || String(error));
        }
    }
    if (access.sysexEnabled === false)
        return refusal('noSysex');
    return { access };
}

export function portCount(access) {
    return access.inputs.size + access.outputs.size;
}

// ?sim, with the simulated Qel's options: ?sim&reads=block0&loss=0.01&seed=3&latency=2
export function simulationFromAddress(search = location.search) {
    const query = new URLSearchParams(search);
    const options = {};
    const number = (name) => (query.has(name) ? Number(query.get(name)) : undefined);
    if (query.has('reads'))
        options.reads = query.get('reads');
    for (const [name, key] of [['loss', 'loss'], ['seed', 'seed'], ['latency', 'latencyMs'],
                               ['serial', 'serial'], ['firmware', 'firmware']]) {
        const value = number(name);
        if (value !== undefined && !Number.isNaN(value))
            options[key] = value;
    }
    return { simulate: query.has('sim'), options };
}
