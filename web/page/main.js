// The page: one session of the core (qelsession.h) on the port pair chosen,
// found by the core's discovery, on Web MIDI or the simulated Qel. Everything
// the session decides stays in the core; this shows it and forwards clicks,
// as the desktop's window does.

import { loadCore, text, WasmBuffer } from './core.js';
import { arg, initialLanguage, loadCatalogue, renderJson, setLanguage } from './i18n.js';
import { midiAccess, simulationFromAddress } from './midiaccess.js';
import { SessionLink } from './link.js';
import { Finder } from './finder.js';
import { loadImage } from './image.js';
import { $, Log, Question, setState, showPorts, tell, word, wordAll } from './view.js';

const TickMs = 10;           // the core counts its time-outs in these
const ViewTicks = 5;         // progress and log lines 20 times a second
const MessageCapacity = 1024;

// qelsession.h
const Event = { None: 0, Connected: 1, NoAnswer: 2, Measured: 3, Progress: 4, Trace: 5, Verdict: 6, Finished: 7 };
const Connection = { Disconnected: 0, Connecting: 1, Connected: 2 };
const AfterUpdateAsking = 1;
const NoImage = 1;           // UpdateOutcome::NoImage: the image could not be used, nothing was sent

const T = () => globalThis.QelPageTexts;

let core = null;
let session = 0;
let link = null;
let finder = null;
let access = null;
let accessGeneration = 0;
let refused = false;
let chosenByUser = false;    // a port picked by hand is never overridden by a search
let ended = false;
let imageCheck = null;
let portsChanged = false;
let progressDirty = false;
let ticks = 0;
const log = new Log($('log'));
const question = new Question($('confirm'), $('confirm-title'), $('confirm-text'), $('confirm-yes'), $('confirm-no'));

function setStatus(wording) {
    word($('status'), wording);
}

function sessionText(pointer) {
    return text(core, pointer);
}

function phraseOf(pointer) {
    const json = sessionText(pointer);
    return () => renderJson(json);
}

// ---- refusals

function refuse(key, detail = '') {
    refused = true;
    finder && finder.stop();
    word($('refusal-text'), () => (detail ? arg(T()[key](), detail) : T()[key]()));
    $('refusal').hidden = false;
    $('refusal-demo').hidden = !core || $('simulate').checked;
    showControls();
}

function withdrawRefusal() {
    refused = false;
    $('refusal').hidden = true;
    word($('refusal-text'), null);
}

// ---- MIDI access and the port lists

function forgetAccess() {
    finder.stop();
    link.detach();
    if (access)
        access.onstatechange = null;
    access = null;
}

async function useAccess() {
    const generation = ++accessGeneration;
    forgetAccess();
    withdrawRefusal();
    chosenByUser = false;
    setState('starting');
    let result;
    try {
        result = await midiAccess($('simulate').checked, simulationFromAddress().options);
    } catch (error) {
        result = { refusal: 'refusedOther', detail: (error && error.message) || String(error) };
    }
    if (generation !== accessGeneration)
        return;  // switched again meanwhile
    if (result.refusal) {
        refuse(result.refusal, result.detail);
        return;
    }
    access = result.access;
    access.onstatechange = onStateChange;
    followPorts(true);
}

function onStateChange() {
    // A port of the pair that leaves ends what the session does at once; the lists follow at the next tick.
    if (link.attached() && !link.present(access) &&
        core._qel_session_state(session) !== Connection.Disconnected) {
        core._qel_session_port_gone(session);
        link.flush();
    }
    portsChanged = true;
}

function followPorts(first = false) {
    const inputs = [...access.inputs.values()];
    const outputs = [...access.outputs.values()];
    const changed = showPorts($('midi-in'), inputs) | showPorts($('midi-out'), outputs);
    if (inputs.length === 0 || outputs.length === 0) {
        if (core._qel_session_state(session) === Connection.Disconnected)
            refuse('noPorts');
        return;
    }
    if (refused)
        withdrawRefusal();
    if (first || changed)
        search();
    showControls();
}

function search() {
    if (!access || refused || chosenByUser || core._qel_session_state(session) !== Connection.Disconnected)
        return;
    finder.start(access);
    setStatus(T().searching);
    showControls();
}

function showFound(found) {
    if (found.length === 0) {
        setStatus(T().foundNone);
    } else {
        const first = found[0];
        $('midi-in').value = first.input.id;
        $('midi-out').value = first.output.id;
        setStatus(found.length === 1
            ? () => arg(T().foundOne(), first.serial, first.input.name, first.output.name)
            : () => arg(T().foundSeveral(), found.length, first.serial, first.input.name, first.output.name));
    }
    showControls();
}

function portChosen() {
    chosenByUser = true;
    finder.stop();
    showControls();
}

// ---- the session

async function onConnect() {
    finder.stop();  // its ports may be the ones to open
    ended = false;
    delete document.body.dataset.outcome;
    if (core._qel_session_state(session) !== Connection.Disconnected) {
        core._qel_session_disconnect(session);
        link.detach();
        clearIdentity();
        showControls();
        return;
    }
    const input = access && access.inputs.get($('midi-in').value);
    const output = access && access.outputs.get($('midi-out').value);
    try {
        if (!input || !output)
            throw new Error('no port chosen');
        await Promise.all([input.open(), output.open()]);
    } catch {
        log.add(T().couldNotOpen());
        setStatus(T().couldNotOpen);
        showControls();
        return;
    }
    if (core._qel_session_state(session) !== Connection.Disconnected)
        return;
    clearIdentity();
    link.attach(input, output);
    core._qel_session_connect(session, performance.now());
    link.flush();
    showControls();
}

function clearIdentity() {
    for (const id of ['serial', 'version', 'block', 'page', 'progress-text'])
        word($(id), null);
    setStatus(null);
    $('progress').hidden = true;
}

function showIdentity() {
    $('serial').textContent = sessionText(core._qel_session_serial_text(session));
    $('version').textContent = sessionText(core._qel_version_text(core._qel_session_firmware(session)));
    setStatus(phraseOf(core._qel_session_verdict(session)));
}

function noAnswer() {
    core._qel_session_disconnect(session);
    link.detach();
    const wording = phraseOf(core._qel_no_answer_phrase());
    log.add(wording());
    setStatus(wording);
}

async function onUpdate() {
    if (core._qel_session_state(session) !== Connection.Connected || core._qel_session_updating(session))
        return;
    $('update').disabled = true;
    const image = await imageCheck;
    if (image.problem) {
        endWithoutWriting(image.problem);
        return;
    }
    const verify = $('verify').checked ? 1 : 0;
    const confirmation = renderJson(sessionText(core._qel_session_confirmation(session, image.bytes.length, verify)));
    const yes = await question.ask(T().updateQuestionTitle(), confirmation);
    if (!yes || core._qel_session_state(session) !== Connection.Connected || core._qel_session_updating(session)) {
        showControls();
        return;
    }
    ended = false;
    delete document.body.dataset.outcome;
    setStatus(null);
    for (const id of ['block', 'page', 'progress-text'])
        word($(id), null);
    $('progress').value = 0;
    $('progress').hidden = false;
    // The session keeps a copy of its own.
    const pointer = core._malloc(image.bytes.length);
    core.HEAPU8.set(image.bytes, pointer);
    core._qel_session_start_update(session, pointer, image.bytes.length, verify, performance.now());
    core._free(pointer);
    link.flush();
    showControls();
}

async function onCancel() {
    if (!core._qel_session_updating(session))
        return;
    const yes = await question.ask(T().cancelQuestionTitle(), T().cancelQuestion());
    if (yes && core._qel_session_updating(session)) {
        core._qel_session_cancel(session);
        link.flush();
        showControls();
    }
}

function end(outcomeName, written, wording) {
    question.withdraw();  // the questions no longer apply
    ended = true;
    document.body.dataset.outcome = outcomeName;
    log.add(wording());
    log.flush();
    setStatus(wording);
    showControls();
    tell($('ending'), $('ending-title'), $('ending-text'), written ? T().finishedTitle() : T().failedTitle(), wording());
}

function endWithoutWriting(wording) {
    end(sessionText(core._qel_outcome_name(NoImage)), false, wording);
}

function finished() {
    const name = sessionText(core._qel_outcome_name(core._qel_session_outcome(session)));
    showProgress();
    $('progress').hidden = name !== 'success';
    $('version').textContent = sessionText(core._qel_version_text(core._qel_session_firmware(session)));
    end(name, name === 'success' || name === 'not_verified', phraseOf(core._qel_session_message(session)));
}

function showProgress() {
    progressDirty = false;
    const done = core._qel_session_pages_done(session);
    const total = Math.max(1, core._qel_session_pages_total(session));
    const block = core._qel_session_block(session);
    const page = core._qel_session_page(session);
    const remaining = core._qel_session_remaining_ms(session);
    const left = remaining >= 0 ? sessionText(core._qel_remaining_phrase(remaining)) : '';
    $('progress').max = total;
    $('progress').value = done;
    $('block').textContent = block < 0 ? '' : block;
    $('page').textContent = page < 0 ? '' : page;
    const percent = Math.floor((100 * done) / total);
    word($('progress-text'), () => [`${percent} %`, arg(T().blockPage(), block < 0 ? '' : block, page < 0 ? '' : page),
                                     left ? renderJson(left) : ''].filter(Boolean).join(' · '));
}

function takeEvents() {
    for (let event; (event = core._qel_session_next_event(session)) !== Event.None;) {
        switch (event) {
        case Event.Connected:
        case Event.Verdict:
            showIdentity();
            break;
        case Event.NoAnswer:
            noAnswer();
            break;
        case Event.Progress:
            progressDirty = true;
            break;
        case Event.Trace:
            log.add(renderJson(sessionText(core._qel_session_trace(session))));
            break;
        case Event.Finished:
            finished();
            break;
        default:
            break;  // Measured: the controls follow below
        }
    }
}

function tick() {
    ++ticks;
    if (finder.running()) {
        const found = finder.tick();
        if (found)
            showFound(found);
    }
    core._qel_session_tick(session, performance.now());
    link.flush();
    takeEvents();
    if (portsChanged && access) {
        portsChanged = false;
        followPorts();
    }
    if (ticks % ViewTicks === 0) {
        if (progressDirty)
            showProgress();
        log.flush();
        showControls();
    }
}

function showControls() {
    const state = core ? core._qel_session_state(session) : Connection.Disconnected;
    const updating = core ? core._qel_session_updating(session) !== 0 : false;
    const asking = core ? core._qel_session_after_update(session) === AfterUpdateAsking : false;
    const measuring = core ? core._qel_session_measuring(session) !== 0 : false;
    const disconnected = state === Connection.Disconnected;
    const searching = finder ? finder.running() : false;
    if (disconnected && link && link.attached())
        link.detach();
    $('midi-in').disabled = $('midi-out').disabled = !disconnected || refused;
    word($('connect'), disconnected ? T().connect : T().disconnect);
    $('connect').disabled = !access || refused || updating || asking;
    $('update').disabled = state !== Connection.Connected || updating || asking || measuring;
    $('cancel').disabled = !updating;
    $('verify').disabled = updating || asking;
    $('rescan').disabled = !access || refused || !disconnected || searching;
    $('simulate').disabled = !disconnected;
    $('connecting').hidden = state !== Connection.Connecting;
    setState(refused ? 'refused'
             : !access ? 'starting'
             : searching ? 'searching'
             : updating || asking ? 'updating'
             : ended ? 'ended'
             : state === Connection.Connecting ? 'connecting'
             : state === Connection.Connected ? 'connected'
             : 'idle');
}

function chooseLanguage(language, remember) {
    setLanguage(language, remember);
    $('language').value = document.documentElement.lang;
    wordAll();
    showControls();
}

async function start() {
    const { simulate } = simulationFromAddress();
    $('simulate').checked = simulate;
    const [loaded] = await Promise.allSettled([loadCore(), loadCatalogue()]);
    chooseLanguage(initialLanguage(), false);
    $('language').addEventListener('change', () => chooseLanguage($('language').value, true));
    if (loaded.status !== 'fulfilled') {
        refuse('noCore', (loaded.reason && loaded.reason.message) || String(loaded.reason));
        return;
    }
    core = loaded.value;
    session = core._qel_session_new();
    const buffer = new WasmBuffer(core, MessageCapacity);
    link = new SessionLink(core, session, buffer);
    finder = new Finder(core, buffer);

    $('connect').addEventListener('click', onConnect);
    $('update').addEventListener('click', onUpdate);
    $('cancel').addEventListener('click', onCancel);
    $('rescan').addEventListener('click', () => {
        chosenByUser = false;
        search();
    });
    $('midi-in').addEventListener('change', portChosen);
    $('midi-out').addEventListener('change', portChosen);
    $('simulate').addEventListener('change', useAccess);
    $('refusal-demo').addEventListener('click', () => {
        $('simulate').checked = true;
        useAccess();
    });
    $('ending-ok').addEventListener('click', () => $('ending').close());
    window.addEventListener('beforeunload', (event) => {
        if (core._qel_session_updating(session)) {
            event.preventDefault();
            event.returnValue = '';
        }
    });

    imageCheck = loadImage(core).then((image) => {
        if (image.bytes)
            log.add(arg(T().imageLoaded(), image.version, image.bytes.length, image.digest));
        return image;
    });
    setInterval(tick, TickMs);
    await useAccess();
}

start();
