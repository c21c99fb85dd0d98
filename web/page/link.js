// The session's port pair. Every message from the input goes straight into
// the session, and whatever command the session has next goes out at once,
// inside the same handler: nothing waits for a timer between a reply and the
// command it leads to. One buffer in the core's memory carries both ways, and
// the handler is made once, so that the steady exchange allocates nothing here.

export class SessionLink {
    constructor(core, session, buffer) {
        this.core = core;
        this.session = session;
        this.buffer = buffer;
        this.input = null;
        this.output = null;
        this.onMessage = (event) => this.take(event.data);
    }

    attach(input, output) {
        this.detach();
        this.input = input;
        this.output = output;
        input.onmidimessage = this.onMessage;
    }

    detach() {
        if (this.input && this.input.onmidimessage === this.onMessage)
            this.input.onmidimessage = null;
        this.input = null;
        this.output = null;
    }

    attached() {
        return this.output !== null;
    }

    // Whether the pair is still in the system's lists.
    present(access) {
        return !this.input ||
            (this.input.state !== 'disconnected' && access.inputs.get(this.input.id) === this.input &&
             this.output.state !== 'disconnected' && access.outputs.get(this.output.id) === this.output);
    }

    take(data) {
        if (this.buffer.put(data))
            this.core._qel_session_take_message(this.session, this.buffer.pointer, data.length, performance.now());
        this.flush();
    }

    // Sends every command that waits.
    flush() {
        const core = this.core;
        const buffer = this.buffer;
        for (;;) {
            const length = core._qel_session_next_command(this.session, buffer.pointer, buffer.capacity);
            if (length === 0)
                return;
            if (length > buffer.capacity) {
                buffer.grow(length);
                continue;
            }
            if (!this.output)
                continue;  // nowhere to go: dropped, as a closed port would
            try {
                this.output.send(buffer.view(length));
            } catch {
                // The port went away or refused: the session ends what it did.
                core._qel_session_send_refused(this.session);
                return;
            }
        }
    }
}
