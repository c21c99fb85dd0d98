// Finding the Qels on every port pair with the core's discovery
// (qeldiscovery.h): Identify on the outputs it names, every message from
// every input handed in with the input's index, a tick every 10 ms until the
// list is final.

import { text } from './core.js';

export class Finder {
    constructor(core, buffer) {
        this.core = core;
        this.buffer = buffer;
        this.discovery = 0;
        this.inputs = [];
        this.outputs = [];
        this.handlers = [];
        this.identifyLength = core._qel_identify_message(buffer.pointer, buffer.capacity);
        this.identify = buffer.view(this.identifyLength).slice();
    }

    running() {
        return this.discovery !== 0;
    }

    start(access) {
        this.stop();
        this.inputs = [...access.inputs.values()];
        this.outputs = [...access.outputs.values()];
        this.discovery = this.core._qel_discovery_new(this.inputs.length, this.outputs.length);
        this.handlers = this.inputs.map((input, index) => (event) => this.take(index, event.data));
        this.inputs.forEach((input, index) => {
            input.onmidimessage = this.handlers[index];
        });
        this.ask();
    }

    // Forgets the search; the inputs are left without a handler.
    stop() {
        if (!this.discovery)
            return;
        this.inputs.forEach((input, index) => {
            if (input.onmidimessage === this.handlers[index])
                input.onmidimessage = null;
        });
        this.core._qel_discovery_free(this.discovery);
        this.discovery = 0;
    }

    take(index, data) {
        if (this.discovery && this.buffer.put(data))
            this.core._qel_discovery_take_message(this.discovery, index, this.buffer.pointer, data.length);
    }

    ask() {
        for (let output; (output = this.core._qel_discovery_next_ask(this.discovery)) >= 0;) {
            const port = this.outputs[output];
            try {
                if (port)
                    port.send(this.identify);
            } catch {
                // An output that refuses cannot reach a Qel: it just finds none.
            }
        }
    }

    // One tick; the Qels found once the search is over, sorted by serial number, else null.
    tick() {
        if (!this.discovery)
            return null;
        if (this.core._qel_discovery_tick(this.discovery)) {
            this.ask();
            return null;
        }
        const core = this.core;
        const found = [];
        const count = core._qel_discovery_found_count(this.discovery);
        for (let i = 0; i < count; ++i) {
            found.push({
                serial: text(core, core._qel_discovery_serial_text(this.discovery, i)),
                firmware: core._qel_discovery_firmware(this.discovery, i),
                input: this.inputs[core._qel_discovery_input(this.discovery, i)],
                output: this.outputs[core._qel_discovery_output(this.discovery, i)],
            });
        }
        this.stop();
        return found;
    }
}
