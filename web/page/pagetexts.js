// The page's own texts; the core's come as phrases. A plain script, not a
// module, because lupdate reads .js files as scripts and stops at an import
// or an export: this way it finds every text here for resources/update_de.ts.
// Texts the window has already (labels, buttons, questions) keep its source,
// so their German is there. Each is a function, asked again when the
// language changes; qsTranslate is the page's (i18n.js).
'use strict';

globalThis.QelPageTexts = Object.freeze({
    title: () => qsTranslate("MainWindow", "Qel Update"),
    language: () => qsTranslate("MainWindow", "Language"),
    simulate: () => qsTranslate("MainWindow", "Simulated Qel (a demo without hardware)"),
    tryDemo: () => qsTranslate("MainWindow", "Try the updater on a simulated Qel"),
    midiIn: () => qsTranslate("MainWindow", "MIDI &IN port"),
    midiOut: () => qsTranslate("MainWindow", "MIDI &OUT port"),
    midiInHint: () => qsTranslate("MainWindow", "The port the Qel sends to; Connect opens it with the chosen MIDI OUT port."),
    midiOutHint: () => qsTranslate("MainWindow", "The port that reaches the Qel."),
    rescan: () => qsTranslate("MainWindow", "Search again"),
    information: () => qsTranslate("MainWindow", "Qel information"),
    serial: () => qsTranslate("MainWindow", "&SN:"),
    version: () => qsTranslate("MainWindow", "V&ersion:"),
    nand: () => qsTranslate("MainWindow", "NAND Information"),
    block: () => qsTranslate("MainWindow", "&Block:"),
    page: () => qsTranslate("MainWindow", "&Page:"),
    connect: () => qsTranslate("MainWindow", "&Connect"),
    disconnect: () => qsTranslate("MainWindow", "Dis&connect"),
    connecting: () => qsTranslate("MainWindow", "try to connect..."),
    update: () => qsTranslate("MainWindow", "&Update"),
    cancel: () => qsTranslate("MainWindow", "&Cancel"),
    verify: () => qsTranslate("MainWindow", "&Verify after writing"),
    log: () => qsTranslate("MainWindow", "Log"),
    yes: () => qsTranslate("MainWindow", "Yes"),
    no: () => qsTranslate("MainWindow", "No"),
    ok: () => qsTranslate("MainWindow", "OK"),

    couldNotOpen: () => qsTranslate("MainWindow", "Could not open the chosen MIDI ports."),
    searching: () => qsTranslate("MainWindow", "Asking every MIDI port for a Qel..."),
    foundOne: () => qsTranslate("MainWindow", "Qel %1 found on %2 and %3."),
    foundSeveral: () => qsTranslate("MainWindow", "%1 Qels found; Qel %2 on %3 and %4 is chosen."),
    foundNone: () => qsTranslate("MainWindow", "No Qel answered on any MIDI port."),
    blockPage: () => qsTranslate("MainWindow", "Block %1, page %2"),
    imageLoaded: () => qsTranslate("MainWindow", "Firmware image %1, %2 bytes, SHA-256 %3"),
    imageUnloadable: () => qsTranslate("MainWindow", "The firmware image could not be loaded (%1), so nothing was sent to the device. Please reload the page and try again."),

    updateQuestionTitle: () => qsTranslate("MainWindow", "Update the Qel"),
    cancelQuestionTitle: () => qsTranslate("MainWindow", "Cancel the update"),
    cancelQuestion: () => qsTranslate("MainWindow", "If you cancel now, the Qel is left without working firmware and must be updated again before use.\n\nCancel the update?"),
    finishedTitle: () => qsTranslate("MainWindow", "Update finished"),
    failedTitle: () => qsTranslate("MainWindow", "Update failed"),

    // Why Web MIDI cannot be used, each with what to do about it.
    noWebMidi: () => qsTranslate("MainWindow", "This browser cannot use MIDI devices: it has no Web MIDI. Please open this page in Chrome, Edge or Opera, on Windows, macOS, Linux or ChromeOS."),
    notSecure: () => qsTranslate("MainWindow", "The browser allows MIDI only to pages from a secure address. Please open this page from http://127.0.0.1 or http://localhost, or over https."),
    denied: () => qsTranslate("MainWindow", "The browser was not allowed to use MIDI devices. Please allow this site to control and reprogram MIDI devices in its site settings (in Chrome: the icon left of the address, then Site settings, MIDI devices: Allow), then reload the page."),
    noSysex: () => qsTranslate("MainWindow", "The browser allowed this page MIDI, but not the System Exclusive messages that the update needs. Please allow this site full control of MIDI devices in its site settings, then reload the page."),
    noMidiSystem: () => qsTranslate("MainWindow", "The browser found no MIDI system on this computer (on Linux it needs the ALSA sequencer). Please check that the computer's MIDI drivers are installed and working, then reload the page."),
    noPorts: () => qsTranslate("MainWindow", "No MIDI ports found. Please plug in the MIDI interface the Qel is connected to; the lists follow as soon as it appears."),
    refusedOther: () => qsTranslate("MainWindow", "The browser refused MIDI (%1). Please reload the page; if that does not help, restart the browser."),
    noCore: () => qsTranslate("MainWindow", "The updater could not start in this browser (%1). Please reload the page, or open it in Chrome, Edge or Opera."),
});
