// The WebAssembly core (qelcore.js, a classic script that defines
// createQelCore) and the one buffer through which messages pass in and out.

export function loadCore() {
    if (typeof globalThis.createQelCore !== 'function')
        return Promise.reject(new Error('qelcore.js did not load'));
    return globalThis.createQelCore();
}

// A string the core returns (const char *).
export function text(core, pointer) {
    return pointer ? core.UTF8ToString(pointer) : '';
}

// Memory of the core, allocated once. A view of its first `length` bytes is
// made once per length and kept, so that sending a message allocates
// nothing; the views are made again only when the core's memory grew (its
// HEAPU8 is then a new array).
export class WasmBuffer {
    constructor(core, capacity) {
        this.core = core;
        this.capacity = capacity;
        this.pointer = core._malloc(capacity);
        this.heap = null;
        this.views = [];
    }

    view(length) {
        const heap = this.core.HEAPU8;
        if (heap !== this.heap) {
            this.heap = heap;
            this.views = new Array(this.capacity + 1);
        }
        return this.views[length] || (this.views[length] = heap.subarray(this.pointer, this.pointer + length));
    }

    // Copies a received message in; false when it is longer than the buffer.
    put(data) {
        if (data.length > this.capacity)
            return false;
        this.view(this.capacity).set(data);
        return true;
    }

    // For a command longer than any seen: a larger buffer, once.
    grow(capacity) {
        this.core._free(this.pointer);
        this.pointer = this.core._malloc(capacity);
        this.capacity = capacity;
        this.heap = null;
    }
}
