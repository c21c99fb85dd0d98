// English or German, from the desktop's catalogue (catalogue.json, made from
// resources/update_de.ts at build time). The browser's language picks one,
// the page's switch overrides it and is remembered.

const StorageKey = 'qel-language';
const Context = 'MainWindow';

let catalogue = null;   // German, once loaded
let chosen = null;      // the contexts of the language shown; null: English

export async function loadCatalogue(url = 'catalogue.json') {
    try {
        const response = await fetch(url);
        if (response.ok)
            catalogue = await response.json();
    } catch {
        // Without it the page speaks English.
    }
}

function stored() {
    try {
        return localStorage.getItem(StorageKey);
    } catch {
        return null;  // storage refused (a private window, a file: page)
    }
}

export function initialLanguage() {
    const remembered = stored();
    if (remembered === 'en' || remembered === 'de')
        return remembered;
    const wanted = navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language || 'en'];
    for (const tag of wanted) {
        const primary = String(tag).toLowerCase().split('-')[0];
        if (primary === 'de' || primary === 'en')
            return primary;
    }
    return 'en';
}

export function setLanguage(language, remember) {
    chosen = language === 'de' && catalogue && catalogue.language === 'de' ? catalogue.contexts : null;
    document.documentElement.lang = chosen ? 'de' : 'en';
    if (remember) {
        try {
            localStorage.setItem(StorageKey, language);
        } catch {
            // not remembered, still switched
        }
    }
}

// The page shows no mnemonics: "&Connect" reads "Connect", "&&" one "&".
function plain(text) {
    return text.replace(/&(&?)/g, '$1');
}

export function translate(context, source) {
    const texts = chosen && chosen[context];
    const translation = texts && texts[source];
    return plain(translation || source);
}

// What QML offers scripts, so that lupdate finds the page's texts (pagetexts.js).
globalThis.qsTranslate = translate;

// %1, %2, ... replaced by the arguments in one pass, as QString::arg with several does.
export function arg(text, ...args) {
    return text.replace(/%([1-9][0-9]?)/g, (whole, n) => (n <= args.length ? String(args[n - 1]) : whole));
}

// A phrase of the core (qelsession.h): a string said as it is, an array of
// phrases joined, or { text, args } looked up and filled in.
export function render(phrase) {
    if (typeof phrase === 'string')
        return phrase;
    if (Array.isArray(phrase))
        return phrase.map(render).join('');
    if (phrase && typeof phrase.text === 'string')
        return arg(translate(Context, phrase.text), ...(phrase.args || []).map(render));
    return '';
}

export function renderJson(json) {
    try {
        return render(JSON.parse(json));
    } catch {
        return json;  // not JSON: shown as it came rather than not at all
    }
}
