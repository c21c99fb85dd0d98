#ifndef QELDISCOVERY_H
#define QELDISCOVERY_H

/* Finding every Qel on every port pair, as a C interface for the page: the
 * desktop's discovery rounds, not a copy. The page opens every input and
 * output, sends Identify (qel_identify_message) on each output that
 * qel_discovery_next_ask() names, hands in every message with the index of
 * the input it came on, and ticks every 10 ms until qel_discovery_tick()
 * returns 0. Answers carry no sign of the port they were asked on, so the
 * outputs are told apart in rounds whose answers spell the output's index. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QelDiscovery QelDiscovery;

/* Ports beyond 32 in a direction are not asked. */
QelDiscovery *qel_discovery_new(int inputs, int outputs);
void qel_discovery_free(QelDiscovery *discovery);
/* The output that should send Identify now, -1 when none waits (call until -1 after new() and after each tick). */
int qel_discovery_next_ask(QelDiscovery *discovery);
void qel_discovery_take_message(QelDiscovery *discovery, int input, const uint8_t *data, size_t length);
/* One tick of 10 ms; 1 while it still asks or listens, 0 once the list is final. */
int qel_discovery_tick(QelDiscovery *discovery);
/* How many ticks a search of `outputs` outputs takes, for a progress bar. */
int qel_discovery_duration_ticks(int outputs);

/* What was found, sorted by serial number. */
int qel_discovery_found_count(const QelDiscovery *discovery);
const char *qel_discovery_serial_text(const QelDiscovery *discovery, int index);
uint32_t qel_discovery_firmware(const QelDiscovery *discovery, int index);
int qel_discovery_input(const QelDiscovery *discovery, int index);
int qel_discovery_output(const QelDiscovery *discovery, int index);

/* Identify, the message every output sends: its length, or the length needed. */
size_t qel_identify_message(uint8_t *out, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif
