'use strict';
// The built page served from its folder on a free port of 127.0.0.1, a
// secure context for Web MIDI as http://localhost is. Nothing is cached, so
// every test loads the page as built.
const fs = require('fs');
const http = require('http');
const path = require('path');

const types = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.json': 'application/json',
    '.wasm': 'application/wasm',
    '.svg': 'image/svg+xml',
    '.png': 'image/png',
    '.ico': 'image/x-icon',
};

function serve(folder) {
    const root = path.resolve(folder);
    const server = http.createServer((request, response) => {
        let name = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
        if (name.endsWith('/'))
            name += 'index.html';
        const file = path.join(root, path.normalize(name));
        if (!file.startsWith(root + path.sep)) {
            response.writeHead(403).end();
            return;
        }
        fs.readFile(file, (error, data) => {
            if (error) {
                response.writeHead(404).end();
                return;
            }
            response.writeHead(200, {
                'Content-Type': types[path.extname(file)] || 'application/octet-stream',
                'Cache-Control': 'no-store',
            });
            response.end(data);
        });
    });
    return new Promise((resolve, reject) => {
        server.once('error', reject);
        server.listen(0, '127.0.0.1', () => resolve({
            url: `http://127.0.0.1:${server.address().port}/`,
            close: () => new Promise((done) => {
                server.closeAllConnections();
                server.close(done);
            }),
        }));
    });
}

module.exports = { serve };
