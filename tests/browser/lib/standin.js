'use strict';
// The stand-in for Web MIDI: navigator.requestMIDIAccess alone is replaced,
// before the page's own scripts run, by one that resolves to the page's own
// simulated access (simmidi.js) with the options of the test. Everything from
// MIDIAccess on is the page's code. The access stays on
// window.__qelTestAccess for the test's hooks, and what the page asked for on
// window.__qelTestAsked. Asking again gives the same access, as the same
// ports would be in a browser.

function install(options) {
    let access = null;
    Object.defineProperty(Navigator.prototype, 'requestMIDIAccess', {
        configurable: true,
        writable: true,
        value(requested) {
            window.__qelTestAsked = requested === undefined ? null : requested;
            if (!access) {
                access = import(new URL('simmidi.js', location.href).href)
                    .then((module) => module.simulatedAccess(options))
                    .then((made) => (window.__qelTestAccess = made));
            }
            return access;
        },
    });
}

// Every line the page adds to its log, kept on window.__qelTestLog: the log
// itself keeps only the newest lines, as the window's does.
function keepLog() {
    window.__qelTestLog = [];
    const watch = () => new MutationObserver((changes) => {
        for (const change of changes) {
            for (const line of change.addedNodes)
                window.__qelTestLog.push(line.textContent);
        }
    }).observe(document.getElementById('log'), { childList: true });
    document.addEventListener('DOMContentLoaded', watch);
}

// Adds the stand-in to a browser context or page, with `options` for simulatedAccess.
function standIn(target, options = {}) {
    return target.addInitScript(install, options);
}

function keepingLog(target) {
    return target.addInitScript(keepLog);
}

module.exports = { standIn, keepingLog };
