#!/usr/bin/env node
// Serves the built page on http://127.0.0.1:PORT, an address browsers count
// as a secure context, so that Web MIDI is offered. Only this machine can
// reach it. No dependencies.
//   node serve.js [FOLDER]        (default: build/web beside this file's tree)
//   QEL_WEB_PORT=PORT             (default 8309; 0 takes a free one)
'use strict';

const fs = require('fs');
const http = require('http');
const path = require('path');

const root = path.resolve(process.argv[2] || path.join(__dirname, '..', 'build', 'web'));
const port = Number(process.env.QEL_WEB_PORT || 8309);
const host = '127.0.0.1';

const types = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.json': 'application/json; charset=utf-8',
    '.wasm': 'application/wasm',
    '.bin': 'application/octet-stream',
    '.png': 'image/png',
    '.svg': 'image/svg+xml',
    '.ico': 'image/x-icon',
};

if (!Number.isInteger(port) || port < 0 || port > 65535) {
    console.error(`QEL_WEB_PORT is no port number: ${process.env.QEL_WEB_PORT}`);
    process.exit(2);
}
if (!fs.existsSync(path.join(root, 'index.html'))) {
    console.error(`${root} holds no index.html: build the page first (./setup.sh web)`);
    process.exit(1);
}

function answer(response, status, message) {
    response.writeHead(status, { 'Content-Type': 'text/plain; charset=utf-8' });
    response.end(message);
}

const server = http.createServer((request, response) => {
    if (request.method !== 'GET' && request.method !== 'HEAD') {
        answer(response, 405, 'Only GET and HEAD.\n');
        return;
    }
    let name;
    try {
        name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    } catch {
        answer(response, 400, 'Bad address.\n');
        return;
    }
    if (name.endsWith('/'))
        name += 'index.html';
    const file = path.join(root, path.normalize(name));
    if (file !== root && !file.startsWith(root + path.sep)) {
        answer(response, 403, 'Outside the page.\n');
        return;
    }
    fs.stat(file, (error, stats) => {
        if (error || !stats.isFile()) {
            answer(response, 404, 'Not found.\n');
            return;
        }
        response.writeHead(200, {
            'Content-Type': types[path.extname(file).toLowerCase()] || 'application/octet-stream',
            'Content-Length': stats.size,
            'Cache-Control': 'no-cache',
            'X-Content-Type-Options': 'nosniff',
        });
        if (request.method === 'HEAD') {
            response.end();
            return;
        }
        fs.createReadStream(file).pipe(response);
    });
});

server.on('error', (error) => {
    console.error(error.code === 'EADDRINUSE'
        ? `Port ${port} is taken: set QEL_WEB_PORT to another one.`
        : `Cannot serve: ${error.message}`);
    process.exit(1);
});

server.listen(port, host, () => {
    console.log(`The Qel updater's page: http://${host}:${server.address().port}/`);
    console.log('Open it in Chrome, Edge or Opera; add ?sim to try it on a simulated Qel. Ctrl-C stops serving.');
});

for (const signal of ['SIGINT', 'SIGTERM'])
    process.on(signal, () => process.exit(0));
