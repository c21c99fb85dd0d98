#ifndef QELUPDATE_H
#define QELUPDATE_H

/* The update sequence as a C interface, for a page that carries the MIDI
 * itself (Web MIDI) and runs the engine built to WebAssembly. Nothing here
 * does I/O or keeps time: the page takes each command to send, hands every
 * message the device sends back, and calls qel_update_tick() every 10 ms. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QelUpdate QelUpdate;

enum {
    QEL_RUNNING = -1 /* qel_update_outcome() while the update runs; otherwise an UpdateOutcome, 0 success */
};

QelUpdate *qel_update_new(void);
void qel_update_free(QelUpdate *update);
/* Starts writing a copy of `size` bytes at `image`; `verify` reads every page back at the end. */
void qel_update_start(QelUpdate *update, const uint8_t *image, size_t size, int verify);
/* The next command to send, copied to `out`: its length, 0 when none waits,
 * or the length needed when `capacity` is too small (nothing taken then). */
size_t qel_update_next_command(QelUpdate *update, uint8_t *out, size_t capacity);
/* One whole SysEx message from the device. */
void qel_update_take_message(QelUpdate *update, const uint8_t *data, size_t length);
void qel_update_tick(QelUpdate *update);
void qel_update_cancel(QelUpdate *update);
int qel_update_outcome(const QelUpdate *update);
/* The outcome in words a script can compare: "running", "success",
 * "not_verified", "device_silent", ... */
const char *qel_outcome_name(int outcome);
int qel_update_pages_done(const QelUpdate *update);
int qel_update_pages_total(const QelUpdate *update);

#ifdef __cplusplus
}
#endif

#endif
