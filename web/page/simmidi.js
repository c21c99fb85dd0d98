// A simulated Qel behind a MIDI port pair, shaped like what
// navigator.requestMIDIAccess({ sysex: true }) resolves to, for the page's
// demo and for tests in a browser without MIDI. The device is the core's own
// model (qeldevice.h) in a second instance of the WebAssembly module, so that
// its memory and the page's never mix. Replies reach the input
// asynchronously, one at a time, never inside the send() that asked.
//
//   simulatedAccess({ reads: 'whole' | 'block0' | 'block0silent', loss, seed,
//                     failErase: [block], failProgram: [[block, page]],
//                     newFlash, factoryDefects: [block], serial, firmware, latencyMs })
//   newFlash: true   a flash without a list yet, whose factory defects the update reads
//
// access.simulated holds what tests and the demo's switch use: unplug(),
// hold() and release() (replies wait meanwhile), holds(image), violations(),
// losses(), firmware(), commands(), dispose().

const Reads = { whole: 0, block0: 1, block0silent: 2 };  // QEL_READS_* of qeldevice.h
const DefaultSerial = 123456789;   // the model's own, shown as 586-638-764
const DefaultFirmware = 0x0801;    // 1.08
const Capacity = 4096;             // larger than any command or reply
const PortName = 'Qel (simulated)';
// Replies go out for this long without a task of their own for each, then
// the page's timer and drawing get their turn. A task per reply would cost
// Chromium's hand-over between tasks, several times the whole exchange.
const SliceMs = 4;

function loadCore() {
    if (typeof globalThis.createQelCore === 'function')
        return globalThis.createQelCore();
    // Loaded before the page's own scripts (a test's stand-in): fetch the core beside this file.
    return new Promise((resolve, reject) => {
        const script = document.createElement('script');
        script.src = new URL('qelcore.js', import.meta.url).href;
        script.onload = () => resolve(globalThis.createQelCore());
        script.onerror = () => reject(new Error('qelcore.js could not be loaded'));
        document.head.appendChild(script);
    });
}

function invalidState(message) {
    return new DOMException(message, 'InvalidStateError');
}

class SimPort {
    constructor(type, id) {
        this.id = id;
        this.name = PortName;
        this.manufacturer = 'Velmor';
        this.version = '1.0';
        this.type = type;
        this.state = 'connected';
        this.connection = 'closed';
        this.onstatechange = null;
        this.listeners = { midimessage: [], statechange: [] };
    }

    addEventListener(type, listener) {
        const list = this.listeners[type];
        if (list && !list.includes(listener))
            list.push(listener);
    }

    removeEventListener(type, listener) {
        const list = this.listeners[type];
        const at = list ? list.indexOf(listener) : -1;
        if (at >= 0)
            list.splice(at, 1);
    }

    dispatch(type, event) {
        const handler = this['on' + type];
        if (handler)
            handler.call(this, event);
        const list = this.listeners[type];
        for (let i = 0; i < list.length; ++i)
            list[i].call(this, event);
    }

    open() {
        if (this.state === 'disconnected')
            return Promise.reject(invalidState('The port is disconnected.'));
        this.connection = 'open';
        return Promise.resolve(this);
    }

    close() {
        this.connection = 'closed';
        return Promise.resolve(this);
    }
}

class SimInput extends SimPort {
    constructor(id) {
        super('input', id);
        this.handler = null;
    }

    // Setting a handler opens the port, as Web MIDI does.
    get onmidimessage() { return this.handler; }
    set onmidimessage(handler) {
        this.handler = handler;
        if (handler && this.state === 'connected')
            this.connection = 'open';
    }

    addEventListener(type, listener) {
        super.addEventListener(type, listener);
        if (type === 'midimessage' && this.state === 'connected')
            this.connection = 'open';
    }
}

class SimOutput extends SimPort {
    constructor(id, device) {
        super('output', id);
        this.device = device;
    }

    send(data) {
        if (this.state === 'disconnected')
            throw invalidState('The port is disconnected.');
        this.connection = 'open';
        this.device.handle(data);
    }

    clear() {}
}

// The model and the replies on their way to the input.
class SimDevice {
    constructor(core, options) {
        this.core = core;
        this.latencyMs = Math.max(0, Number(options.latencyMs) || 0);
        const reads = Reads[options.reads || 'whole'];
        if (reads === undefined)
            throw new TypeError(`reads: ${options.reads} is none of ${Object.keys(Reads).join(', ')}`);
        this.device = core._qel_device_new(reads, Number(options.loss) || 0, (options.seed ?? 1) >>> 0);
        if (options.serial !== undefined || options.firmware !== undefined)
            core._qel_device_set_identity(this.device, (options.serial ?? DefaultSerial) >>> 0,
                                          (options.firmware ?? DefaultFirmware) >>> 0);
        for (const block of options.failErase || [])
            core._qel_device_fail_erase(this.device, block);
        for (const [block, page] of options.failProgram || [])
            core._qel_device_fail_program(this.device, block, page);
        if (options.newFlash)
            core._qel_device_erase_all(this.device);
        for (const block of options.factoryDefects || [])
            core._qel_device_set_factory_defect(this.device, block);
        this.pointer = core._malloc(Capacity);
        this.commands = 0;
        this.input = null;
        this.queue = [];        // replies in order of arrival
        this.dues = [];         // when each may arrive, with a latency only
        this.posted = false;
        this.channel = new MessageChannel();
        this.sliceEnd = 0;
        this.holding = false;  // replies wait until released, so that a test can act at a known point
        this.channel.port2.onmessage = () => {
            this.sliceEnd = performance.now() + SliceMs;
            this.deliver();
        };
        this.deliverNow = () => this.deliver();
        this.wake = () => this.post();
    }

    handle(data) {
        const core = this.core;
        const length = data.length;
        if (!this.device || length > Capacity)
            return;
        core.HEAPU8.set(data, this.pointer);
        ++this.commands;
        const replies = core._qel_device_handle(this.device, this.pointer, length);
        const due = this.latencyMs > 0 ? performance.now() + this.latencyMs : 0;
        for (let i = 0; i < replies; ++i) {
            const size = core._qel_device_reply(this.device, i, this.pointer, Capacity);
            if (size > 0 && size <= Capacity)
                this.queue.push(core.HEAPU8.slice(this.pointer, this.pointer + size));
                if (due > 0)
                    this.dues.push(due);
        }
        if (this.queue.length > 0)
            this.post();
    }

    post() {
        if (this.posted)
            return;
        this.posted = true;
        if (performance.now() < this.sliceEnd)
            queueMicrotask(this.deliverNow);
        else
            this.channel.port1.postMessage(0);
    }

    // Replies go out one at a time, each after the handler of the one before
    // has returned; those its sends bring are taken by the same loop (posted
    // stays set meanwhile) until the slice is over.
    deliver() {
        const queue = this.queue;
        if (this.holding) {
            this.posted = false;
            return;
        }
        let delivered = 0;
        while (queue.length > 0) {
            const wait = this.latencyMs > 0 ? this.dues[0] - performance.now() : 0;
            if (wait > 0) {
                this.posted = false;
                setTimeout(this.wake, wait);
                return;
            }
            if ((++delivered & 63) === 0 && performance.now() >= this.sliceEnd)
                break;
            const data = queue.shift();
            if (this.latencyMs > 0)
                this.dues.shift();
            const input = this.input;
            if (input && input.state === 'connected') {
                // A handler that throws is reported, as a browser's dispatch does, and the replies go on.
                try {
                    input.dispatch('midimessage', { type: 'midimessage', data, timeStamp: performance.now(),
                                                    target: input, currentTarget: input });
                } catch (error) {
                    globalThis.reportError(error);
                }
            }
        }
        this.posted = false;
        if (queue.length > 0)
            this.post();
    }

    // The demo switched off: the model, its buffer and the channel go, so that
    // nothing keeps the second instance of the core alive.
    dispose() {
        this.queue.length = 0;
        this.dues.length = 0;
        this.input = null;
        this.channel.port2.onmessage = null;
        this.channel.port1.close();
        this.channel.port2.close();
        if (this.device) {
            this.core._free(this.pointer);
            this.core._qel_device_free(this.device);
            this.device = 0;
        }
    }

    holds(image) {
        const core = this.core;
        const pointer = core._malloc(image.length);
        core.HEAPU8.set(image, pointer);
        const held = core._qel_device_holds(this.device, pointer, image.length) === 1;
        core._free(pointer);
        return held;
    }
}

class SimAccess {
    constructor(device) {
        this.sysexEnabled = true;
        this.onstatechange = null;
        this.listeners = [];
        const input = new SimInput('qel-sim-in');
        const output = new SimOutput('qel-sim-out', device);
        device.input = input;
        this.inputs = new Map([[input.id, input]]);
        this.outputs = new Map([[output.id, output]]);
        const core = device.core;
        this.simulated = Object.freeze({
            unplug: () => this.unplug(),
            holds: (image) => device.holds(image),
            violations: () => core._qel_device_violations(device.device),
            losses: () => core._qel_device_losses(device.device),
            firmware: () => core._qel_device_firmware(device.device),
            commands: () => device.commands,
            dispose: () => device.dispose(),
            hold: () => { device.holding = true; },
            release: () => {
                device.holding = false;
                if (device.queue.length > 0)
                    device.post();
            },
        });
        this.device = device;
    }

    addEventListener(type, listener) {
        if (type === 'statechange' && !this.listeners.includes(listener))
            this.listeners.push(listener);
    }

    removeEventListener(type, listener) {
        const at = type === 'statechange' ? this.listeners.indexOf(listener) : -1;
        if (at >= 0)
            this.listeners.splice(at, 1);
    }

    // The interface leaves the system: its ports go, the way Web MIDI tells it.
    unplug() {
        this.device.queue.length = 0;
        this.device.dues.length = 0;
        for (const map of [this.inputs, this.outputs]) {
            for (const port of [...map.values()]) {
                port.state = 'disconnected';
                if (port.connection === 'open')
                    port.connection = 'pending';
                map.delete(port.id);
                const event = { type: 'statechange', port, target: port, currentTarget: port };
                port.dispatch('statechange', event);
                const accessEvent = { type: 'statechange', port, target: this, currentTarget: this };
                if (this.onstatechange)
                    this.onstatechange(accessEvent);
                for (const listener of this.listeners)
                    listener.call(this, accessEvent);
            }
        }
    }
}

export async function simulatedAccess(options = {}) {
    const core = await loadCore();
    return new SimAccess(new SimDevice(core, options));
}
