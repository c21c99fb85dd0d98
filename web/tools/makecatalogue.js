#!/usr/bin/env node
// The page's German catalogue, made from the desktop's (resources/update_de.ts)
// at build time, so that a text is translated once:
//   node makecatalogue.js update_de.ts catalogue.json
// Writes {"language": "de", "contexts": {"MainWindow": {source: translation}}}.
// Texts are kept as the desktop has them, mnemonics included: the page drops
// the '&' where it shows a label. Unfinished, vanished and obsolete messages
// are left out, so the page shows their English.
'use strict';

const fs = require('fs');

const [input, output] = process.argv.slice(2);
if (!input || !output) {
    console.error('usage: node makecatalogue.js update_de.ts catalogue.json');
    process.exit(2);
}

const named = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'" };

function decode(text) {
    return text.replace(/&(#x[0-9a-fA-F]+|#[0-9]+|[a-z]+);/g, (whole, entity) => {
        if (entity[0] === '#')
            return String.fromCodePoint(entity[1] === 'x' ? parseInt(entity.slice(2), 16) : parseInt(entity.slice(1), 10));
        if (!(entity in named))
            throw new Error(`unknown entity ${whole}`);
        return named[entity];
    });
}

// The one element `name` inside `xml`, or null; its attributes and text.
function element(xml, name) {
    const match = new RegExp(`<${name}(\\s[^>]*)?(?:/>|>([\\s\\S]*?)</${name}>)`).exec(xml);
    return match ? { attributes: match[1] || '', text: match[2] || '' } : null;
}

const ts = fs.readFileSync(input, 'utf8');
const language = (/<TS\b[^>]*\blanguage="([^"]+)"/.exec(ts) || [])[1];
if (!language) {
    console.error(`${input}: no <TS language="...">`);
    process.exit(1);
}

const contexts = {};
let messages = 0;
for (const [, body] of ts.matchAll(/<context>([\s\S]*?)<\/context>/g)) {
    const name = decode(element(body, 'name').text);
    const texts = contexts[name] || (contexts[name] = {});
    for (const [, message] of body.matchAll(/<message\b[^>]*>([\s\S]*?)<\/message>/g)) {
        const source = element(message, 'source');
        const translation = element(message, 'translation');
        if (!source || !translation || /\btype="/.test(translation.attributes) || translation.text === '')
            continue;
        texts[decode(source.text)] = decode(translation.text);
        ++messages;
    }
}
if (messages === 0) {
    console.error(`${input}: no finished translation found`);
    process.exit(1);
}

fs.writeFileSync(output, JSON.stringify({ language, contexts }));
