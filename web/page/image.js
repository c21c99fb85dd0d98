// The firmware image served with the page, checked against the size and
// SHA-256 built into the core before anything is sent. Resolves to
// { bytes, version, digest } or { problem }, a function that words it.

import { text } from './core.js';
import { arg, renderJson } from './i18n.js';

function hex(buffer) {
    return Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
}

export function imageName(core) {
    return `qel-firmware-${text(core, core._qel_version_text(core._qel_carried_version()))}.bin`;
}

export async function loadImage(core) {
    const T = globalThis.QelPageTexts;
    const version = text(core, core._qel_version_text(core._qel_carried_version()));
    let bytes;
    try {
        const response = await fetch(imageName(core), { cache: 'no-cache' });
        if (!response.ok)
            throw new Error(`HTTP ${response.status}`);
        bytes = new Uint8Array(await response.arrayBuffer());
    } catch (error) {
        const reason = error && error.message ? error.message : String(error);
        return { problem: () => arg(T.imageUnloadable(), reason) };
    }
    if (!globalThis.crypto || !crypto.subtle)
        return { problem: () => T.notSecure() };
    const digest = hex(await crypto.subtle.digest('SHA-256', bytes));
    if (bytes.length !== core._qel_image_size() || digest !== text(core, core._qel_image_sha256()))
        return { problem: () => renderJson(text(core, core._qel_image_damaged_phrase())) };
    return { bytes, version, digest };
}
