#ifndef QELSESSION_H
#define QELSESSION_H

/* One Qel from Connect to the end of its update, as a C interface for a page
 * that carries the MIDI itself (Web MIDI) and runs the core built to
 * WebAssembly. Behind it is the desktop session's own logic, not a copy: the
 * greeting asked again, the timed reads and the duration they give, the
 * version check, the update with its time left, and the question to the
 * device after a success.
 *
 * Nothing here does I/O or keeps time. The page sends every command it takes
 * with qel_session_next_command(), hands in every whole SysEx message from
 * the device, calls qel_session_tick() every 10 ms (time-outs count ticks),
 * and passes its clock in milliseconds (performance.now()) where a duration
 * is measured. After each call it takes the events that wait.
 *
 * Texts come untranslated, as phrases in JSON, for the page to put into its
 * language from the same catalogue as the desktop's: a phrase is a string
 * (said as it is), an array of phrases (joined), or
 * {"text": "source text with %1 and %2", "args": [phrase, ...]} where the
 * source text is looked up in the catalogue and %n replaced by argument n.
 * A returned string stays valid until the next call of the same function. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QelSession QelSession;

enum {
    QEL_RUNNING = -1 /* qel_session_outcome() while an update runs or before one; otherwise an UpdateOutcome, 0 success */
};

enum QelConnection { QEL_DISCONNECTED = 0, QEL_CONNECTING = 1, QEL_CONNECTED = 2 };

enum QelEvent {
    QEL_EVENT_NONE = 0,
    QEL_EVENT_CONNECTED = 1, /* the Qel answered Identify: serial, firmware and verdict readable */
    QEL_EVENT_NO_ANSWER = 2, /* Connect asked again and had no answer within 3 s; qel_no_answer_phrase() */
    QEL_EVENT_MEASURED = 3,  /* the reads timed after Connect are done: the expected duration is final */
    QEL_EVENT_PROGRESS = 4,  /* at most once a tick while an update runs */
    QEL_EVENT_TRACE = 5,     /* one log line: qel_session_trace() */
    QEL_EVENT_VERDICT = 6,   /* qel_session_verdict() says something new */
    QEL_EVENT_FINISHED = 7   /* the update ended: qel_session_outcome(), qel_session_message() */
};

enum QelAfterUpdate { QEL_AFTER_NOT_ASKED = 0, QEL_AFTER_ASKING = 1, QEL_AFTER_RUNNING = 2, QEL_AFTER_NOT_RUNNING = 3 };

QelSession *qel_session_new(void);
void qel_session_free(QelSession *session);

/* Greets the device on the pair the page opened: Identify, asked again
 * every 500 ms, four asks; then five block-0 reads are timed. */
void qel_session_connect(QelSession *session, double nowMs);
/* Forgets the device; a running update is cancelled first. */
void qel_session_disconnect(QelSession *session);
int qel_session_state(const QelSession *session); /* a QelConnection */

/* The next command to send, copied to `out`: its length, 0 when none waits,
 * or the length needed when `capacity` is too small (nothing taken then). */
size_t qel_session_next_command(QelSession *session, uint8_t *out, size_t capacity);
/* One whole SysEx message from the device, as it came; malformed ones are ignored. */
void qel_session_take_message(QelSession *session, const uint8_t *data, size_t length, double nowMs);
void qel_session_tick(QelSession *session, double nowMs);
/* A port of the pair left the system, or the output refused a message. */
void qel_session_port_gone(QelSession *session);
void qel_session_send_refused(QelSession *session);

/* The next event, QEL_EVENT_NONE when none waits. */
int qel_session_next_event(QelSession *session);
/* The log line of the last QEL_EVENT_TRACE taken, a phrase. */
const char *qel_session_trace(const QelSession *session);

/* The identity of the last answer to Identify. */
const char *qel_session_serial_text(const QelSession *session);
uint32_t qel_session_firmware(const QelSession *session);
/* The status line's sentence on the firmware, a phrase: how it stands
 * against the carried one, or after an update what the device said. */
const char *qel_session_verdict(QelSession *session);
int qel_session_measuring(const QelSession *session);
/* How long writing `imageBytes` takes, from the timed reads (Identify's round trip until they are done). */
double qel_session_expected_ms(const QelSession *session, size_t imageBytes, int verify);
/* The question before writing, a phrase: both versions, the duration, what not to do. */
const char *qel_session_confirmation(QelSession *session, size_t imageBytes, int verify);

/* Starts writing a copy of `size` bytes at `image`; `verify` reads every page back at the end. */
void qel_session_start_update(QelSession *session, const uint8_t *image, size_t size, int verify, double nowMs);
void qel_session_cancel(QelSession *session);
int qel_session_updating(const QelSession *session);
int qel_session_outcome(const QelSession *session);
/* The ending in words, a phrase; after a success, what the device said when asked. */
const char *qel_session_message(QelSession *session);
int qel_session_after_update(const QelSession *session); /* a QelAfterUpdate */
int qel_session_pages_done(const QelSession *session);
int qel_session_pages_total(const QelSession *session);
/* The block and page as the NAND fields show them; -1 before the first. */
int qel_session_block(const QelSession *session);
int qel_session_page(const QelSession *session);
/* Milliseconds left, -1 before a rate is known. */
double qel_session_remaining_ms(const QelSession *session);

/* The outcome in words a script can compare: "running", "success", "not_verified", ... */
const char *qel_outcome_name(int outcome);

/* The firmware this build carries, as the device reports a version (1.09 is 0x0901). */
uint32_t qel_carried_version(void);
/* "1.09". */
const char *qel_version_text(uint32_t word);
/* -1 older than the carried version, 0 the same, 1 newer. */
int qel_version_order(uint32_t word);

/* Phrases the page shows of its own accord. */
const char *qel_expected_phrase(double ms);   /* "about 40 s" */
const char *qel_remaining_phrase(double ms);  /* "about 40 s left" */
const char *qel_no_answer_phrase(void);
const char *qel_image_damaged_phrase(void);   /* the image served did not match the one built in */

/* The image this build carries: its size and SHA-256 in lower-case hex, to
 * check the image served with the page before anything is sent. */
size_t qel_image_size(void);
const char *qel_image_sha256(void);

#ifdef __cplusplus
}
#endif

#endif
