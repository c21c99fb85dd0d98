#ifndef QELDEVICE_H
#define QELDEVICE_H

/* The simulated Qel as a C interface, so that a script (node, or a page
 * without a Qel) can play the device to qelsession.h: commands in, replies
 * out through the device's link faults, and the image it holds compared. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QelDevice QelDevice;

enum {
    QEL_READS_WHOLE_FLASH = 0, /* ReadChunk reaches every page */
    QEL_READS_BLOCK_ZERO = 1,  /* beyond block 0 it reads 0xFF, as the contract allows */
    QEL_READS_BLOCK_ZERO_SILENT = 2 /* beyond block 0 it does not answer */
};

/* A Qel as shipped: one copy of a list without bad blocks, firmware 1.08.
 * `loss` loses that share of its replies and of the commands, drawn from `seed`. */
QelDevice *qel_device_new(int reads, double loss, uint32_t seed);
void qel_device_free(QelDevice *device);
/* One command in; returns how many messages reach the updater in answer. */
size_t qel_device_handle(QelDevice *device, const uint8_t *command, size_t length);
/* Reply `index` of the last command, copied to `out`: its length, or the
 * length needed when `capacity` is too small; 0 when there is none. */
size_t qel_device_reply(const QelDevice *device, size_t index, uint8_t *out, size_t capacity);
/* 1 when the device would boot exactly these bytes. */
int qel_device_holds(const QelDevice *device, const uint8_t *image, size_t size);
/* What it found wrong in what it was sent; 0 for a clean update. */
size_t qel_device_violations(const QelDevice *device);
/* Messages the link lost, replies and commands. */
int qel_device_losses(const QelDevice *device);
uint32_t qel_device_firmware(const QelDevice *device);
/* Who it says it is: serial number and firmware word (1.08 is 0x0801). */
void qel_device_set_identity(QelDevice *device, uint32_t serial, uint32_t firmware);
/* Faults of its flash: an erase of `block` fails; programming `page` of
 * `block` fails (-1: every page of it); a factory defect, which it reports,
 * fails both, and which its list in block 0 names, as a Qel in use does. */
void qel_device_fail_erase(QelDevice *device, int block);
void qel_device_fail_program(QelDevice *device, int block, int page);
void qel_device_set_factory_defect(QelDevice *device, int block);
/* A new flash, as it leaves the factory: every page erased and no list yet,
 * so that the update reads the factory defects themselves (more than three
 * stop it). Call before qel_device_set_factory_defect. */
void qel_device_erase_all(QelDevice *device);

#ifdef __cplusplus
}
#endif

#endif
