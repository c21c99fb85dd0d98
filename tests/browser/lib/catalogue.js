'use strict';
// The German of an English source text, from the one catalogue that the
// desktop and the page share (resources/update_de.ts), so that the tests
// expect what the page's generated catalogue must say.
const fs = require('fs');
const path = require('path');

const file = path.join(__dirname, '..', '..', '..', 'resources', 'update_de.ts');
const entities = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'" };
const unescape = (s) => s.replace(/&(amp|lt|gt|quot|apos);/g, (_, e) => entities[e]);

let table = null;

function german(source) {
    if (!table) {
        table = new Map();
        const text = fs.readFileSync(file, 'utf8');
        for (const m of text.matchAll(/<source>([\s\S]*?)<\/source>\s*<translation[^>]*>([\s\S]*?)<\/translation>/g))
            table.set(unescape(m[1]), unescape(m[2]));
    }
    if (!table.has(source))
        throw new Error(`resources/update_de.ts has no German for "${source}"`);
    return table.get(source);
}

// The part of a text before its first placeholder (%1), which a page shows
// whatever the argument: what a test can look for.
function lead(text) {
    return text.split(/%\d/)[0].trim();
}

module.exports = { german, lead };
