'use strict';
// The built page served by the project's own server (web/serve.js, as
// ./setup.sh web serves it) on a free port of 127.0.0.1: a secure context
// for Web MIDI. close() stops it.
const { spawn } = require('child_process');
const path = require('path');

const script = path.join(__dirname, '..', '..', '..', 'web', 'serve.js');

function serve(folder) {
    return new Promise((resolve, reject) => {
        const server = spawn(process.execPath, [script, path.resolve(folder)], {
            env: { ...process.env, QEL_WEB_PORT: '0' },
            stdio: ['ignore', 'pipe', 'inherit'],
        });
        let said = '';
        const failed = (code) => reject(new Error(`web/serve.js ended (${code}) before serving: ${said}`));
        server.on('exit', failed);
        server.stdout.on('data', (chunk) => {
            said += chunk;
            const match = /http:\/\/127\.0\.0\.1:\d+\//.exec(said);
            if (!match)
                return;
            server.stdout.removeAllListeners('data');
            server.stdout.resume();
            server.off('exit', failed);
            resolve({
                url: match[0],
                close: () => new Promise((done) => {
                    if (server.exitCode !== null || server.signalCode !== null)
                        return done();
                    server.once('exit', () => done());
                    server.kill('SIGTERM');
                }),
            });
        });
    });
}

module.exports = { serve };
