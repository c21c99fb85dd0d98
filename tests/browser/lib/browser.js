'use strict';
// Debian's Chromium, headless, driven by playwright-core (which brings no
// browser of its own). Each run gets a folder of its own under the system's
// temporary folder, named after this process: Chromium's profile and its
// temporary files go there, and so do its crash reports and caches, which it
// would otherwise keep in the user's home; the folder is removed when the run
// ends, however it ends. Folders of runs whose process is gone (killed outright) are removed
// by the next run.
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const executable = process.env.QEL_CHROMIUM || '/usr/bin/chromium';
const prefix = 'qel-browser-';

// Without the networking switches Chromium keeps trying hosts that this
// machine's closed network refuses.
const switches = [
    '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--disable-default-apps', '--disable-extensions',
];

function alive(pid) {
    try {
        process.kill(pid, 0);
        return true;
    } catch (error) {
        return error.code === 'EPERM';
    }
}

function removeStale(base) {
    for (const name of fs.readdirSync(base)) {
        const match = name.startsWith(prefix) && /^(\d+)-/.exec(name.slice(prefix.length));
        if (match && !alive(Number(match[1])))
            fs.rmSync(path.join(base, name), { recursive: true, force: true });
    }
}

async function launch() {
    if (!fs.existsSync(executable))
        throw new Error(`no Chromium at ${executable}: install Debian's chromium (./setup.sh test does), or set QEL_CHROMIUM`);
    const base = os.tmpdir();
    removeStale(base);
    const folder = fs.mkdtempSync(path.join(base, `${prefix}${process.pid}-`));
    const removeFolder = () => fs.rmSync(folder, { recursive: true, force: true });
    process.on('exit', removeFolder);
    // playwright-core makes its profile folder under os.tmpdir(), which reads
    // TMPDIR on every call; Chromium inherits it too.
    const saved = process.env.TMPDIR;
    process.env.TMPDIR = folder;
    let browser;
    try {
        browser = await chromium.launch({
            executablePath: executable, headless: true, args: switches,
            env: { ...process.env, XDG_CONFIG_HOME: path.join(folder, 'config'), XDG_CACHE_HOME: path.join(folder, 'cache') },
        });
    } finally {
        if (saved === undefined)
            delete process.env.TMPDIR;
        else
            process.env.TMPDIR = saved;
    }
    return {
        browser,
        folder,
        async close() {
            await browser.close();
            removeFolder();
        },
    };
}

module.exports = { launch };
