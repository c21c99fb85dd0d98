// What the page shows: labels in the chosen language, the status line, the
// log (lines gathered, appended in one go), the port lists, the two dialogs.

const LogLines = 1000;  // the newest only, as the window's log keeps them

export const $ = (id) => document.getElementById(id);

// Texts that follow the language: fixed labels by their data-text key, the
// rest by the function that words them now.
const worded = new Map();

export function word(element, wording) {
    if (wording)
        worded.set(element, wording);
    else
        worded.delete(element);
    element.textContent = wording ? wording() : '';
}

export function wordAll() {
    const T = globalThis.QelPageTexts;
    for (const element of document.querySelectorAll('[data-text]'))
        element.textContent = T[element.dataset.text]();
    document.title = T.title();
    for (const [element, wording] of worded)
        element.textContent = wording();
}

export function setState(state) {
    document.body.dataset.state = state;
}

export class Log {
    constructor(element) {
        this.element = element;
        this.pending = [];
    }

    add(line) {
        this.pending.push(line.endsWith('\n') ? line.slice(0, -1) : line);
    }

    flush() {
        if (this.pending.length === 0)
            return;
        const lines = document.createDocumentFragment();
        for (const line of this.pending) {
            const row = document.createElement('div');
            row.textContent = line;
            lines.appendChild(row);
        }
        this.pending.length = 0;
        const log = this.element;
        log.appendChild(lines);
        for (let extra = log.childElementCount - LogLines; extra > 0; --extra)
            log.firstElementChild.remove();
        log.scrollTop = log.scrollHeight;
    }
}

// A select listing ports by name, keeping the chosen port while others come and go.
export function showPorts(select, ports) {
    const ids = ports.map((port) => port.id);
    const shown = Array.from(select.options, (option) => option.value);
    if (ids.length === shown.length && ids.every((id, i) => id === shown[i]) &&
        ports.every((port, i) => select.options[i].textContent === port.name))
        return false;
    const chosen = select.value;
    select.replaceChildren(...ports.map((port) => new Option(port.name, port.id)));
    select.value = ids.includes(chosen) ? chosen : (ids[0] ?? '');
    return true;
}

// Asks a yes/no question in a modal dialog; resolves true for yes. A
// question withdrawn (the update ended meanwhile) resolves false.
export class Question {
    constructor(dialog, title, textElement, yes, no) {
        this.dialog = dialog;
        this.title = title;
        this.textElement = textElement;
        this.resolve = null;
        yes.addEventListener('click', () => this.answer(true));
        no.addEventListener('click', () => this.answer(false));
        dialog.addEventListener('cancel', (event) => {
            event.preventDefault();
            this.answer(false);
        });
    }

    ask(title, text) {
        this.withdraw();
        this.title.textContent = title;
        this.textElement.textContent = text;
        this.dialog.showModal();
        return new Promise((resolve) => {
            this.resolve = resolve;
        });
    }

    answer(yes) {
        const resolve = this.resolve;
        this.resolve = null;
        if (this.dialog.open)
            this.dialog.close();
        if (resolve)
            resolve(yes);
    }

    withdraw() {
        this.answer(false);
    }
}

// The ending, told in a dialog.
export function tell(dialog, titleElement, textElement, title, text) {
    titleElement.textContent = title;
    textElement.textContent = text;
    if (dialog.open)
        dialog.close();
    dialog.showModal();
}
