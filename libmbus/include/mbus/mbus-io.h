/* libmbus I/O: the handle, its hooks and callbacks, transports and the
 * link-layer conversations (ping, request/response, selection, scans).
 *
 * Threads: a handle belongs to one thread at a time; every hook and callback
 * runs in the thread that called into the library. Nothing here keeps global
 * state apart from the per-thread fallback error text.
 */
#ifndef MBUS_MBUS_IO_H
#define MBUS_MBUS_IO_H

#include <stddef.h>
#include <stdint.h>

#include "mbus-protocol.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Hook results: -1 (all bits set) is success, 0 is failure. */
#define MBUS_HOOK_OK (-1)
#define MBUS_HOOK_FAILED 0

/* Values of mbus_handle.io_mode. */
#define MBUS_IO_SERIAL 0
#define MBUS_IO_TCP 1
#define MBUS_IO_HOOKS 2

/* Receive results. */
#define MBUS_RECV_RESULT_OK 0
#define MBUS_RECV_RESULT_ERROR (-1)
#define MBUS_RECV_RESULT_INVALID (-2)
#define MBUS_RECV_RESULT_TIMEOUT (-3)

/* Results of selection and probing by secondary address. */
#define MBUS_PROBE_ERROR (-1)
#define MBUS_PROBE_NOTHING 0
#define MBUS_PROBE_SINGLE 1
#define MBUS_PROBE_COLLISION 2

/* Hooks. The send hook writes the bytes and stores how many it wrote; the
 * receive hook waits until it holds `capacity` bytes or the line has been
 * silent for its time-out, then stores how many it delivered (0 on silence). */
typedef int(MBUS_CALL* mbus_send_hook)(mbus_handle* handle, const unsigned char* bytes, int length,
                                       int* sent);
typedef int(MBUS_CALL* mbus_recv_hook)(mbus_handle* handle, unsigned char* buffer, int capacity,
                                       int* received);
typedef int(MBUS_CALL* mbus_open_hook)(mbus_handle* handle);
typedef int(MBUS_CALL* mbus_close_hook)(mbus_handle* handle);
typedef int(MBUS_CALL* mbus_baudrate_hook)(mbus_handle* handle, int baudrate);

/* Callbacks. */
typedef void(MBUS_CALL* mbus_scan_progress_cb)(mbus_handle* handle, const char* mask);
typedef void(MBUS_CALL* mbus_found_cb)(mbus_handle* handle, mbus_frame* frame);
typedef void(MBUS_CALL* mbus_traffic_cb)(unsigned char src_type, const char* buff, size_t len);

struct mbus_handle_state; /* library-private */

/* The handle. Callers may write the fields marked "caller"; the offsets are
 * those of the 32-bit build (checked there), 64-bit builds keep the order
 * with natural alignment. */
struct mbus_handle {
  int32_t fd;                          /*  0 descriptor word (open/close hooks, caller) */
  int32_t max_data_retry;              /*  4 extra tries of a request without answer */
  int32_t max_search_retry;            /*  8 extra tries of a probe without answer (caller) */
  char purge_first_frame;              /* 12 purge after select/ping when set */
  char io_mode;                        /* 13 MBUS_IO_*; 2 routes all bytes through hooks */
  unsigned char fcb;                   /* 14 frame count bit of the next follow-up request */
  unsigned char reserved0;             /* 15 */
  int32_t baudrate;                    /* 16 line speed of the serial context */
  int32_t timeout_ms;                  /* 20 silence that ends a read without hooks */
  int32_t port;                        /* 24 TCP port of the gateway */
  int32_t reserved1[4];                /* 28 */
  mbus_scan_progress_cb scan_progress; /* 44 per probed mask (caller) */
  mbus_found_cb found_event;           /* 48 per device found by a scan (caller) */
  mbus_traffic_cb recv_event;          /* 52 every received frame's bytes */
  mbus_traffic_cb send_event;          /* 56 every sent frame's bytes */
  void* reserved2[3];                  /* 60 */
  void* auxdata;                       /* 72 user pointer (caller) */
  mbus_send_hook send_hook;            /* 76 (caller) */
  mbus_recv_hook recv_hook;            /* 80 (caller) */
  mbus_open_hook open_hook;            /* 84 (caller) */
  mbus_close_hook close_hook;          /* 88 (caller) */
  mbus_baudrate_hook baudrate_hook;    /* 92 (caller) */
  struct mbus_handle_state* state;     /* 96 library-private */
};

typedef enum mbus_context_option {
  MBUS_OPTION_MAX_DATA_RETRY = 0,
  MBUS_OPTION_MAX_SEARCH_RETRY = 1,
  MBUS_OPTION_PURGE_FIRST_FRAME = 2
} mbus_context_option;

/* A slave address for mbus_read_slave: primary (0-250, 253, 254) or a
 * 16-character secondary address (mask wildcards allowed, one match needed). */
typedef struct mbus_address {
  int is_primary;
  int primary;
  const char* secondary;
} mbus_address;

/* Contexts. A context is unconnected until mbus_connect. With io_mode set to
 * MBUS_IO_HOOKS before connecting, the handle opens nothing itself: connect
 * calls the open hook, disconnect the close hook, every byte goes through the
 * send and receive hooks and a baud-rate switch through the baud-rate hook. */
MBUS_API mbus_handle* MBUS_CALL mbus_context_serial(const char* device);
MBUS_API mbus_handle* MBUS_CALL mbus_context_tcp(const char* host, uint16_t port);
/* Disconnects a still-connected handle (the close hook when hooks are
 * installed), then releases it. */
MBUS_API void MBUS_CALL mbus_context_free(mbus_handle* handle);
/* Releases a handle made by a context function without calling any hook:
 * for owners whose hooks may no longer run (a worker that ends). A port the
 * library opened itself is closed. A null handle is ignored. */
MBUS_API void MBUS_CALL mbus_mem_free(mbus_handle* handle);
/* 0 on success, -1 on failure. */
MBUS_API int MBUS_CALL mbus_connect(mbus_handle* handle);
MBUS_API int MBUS_CALL mbus_disconnect(mbus_handle* handle);
MBUS_API int MBUS_CALL mbus_context_set_option(mbus_handle* handle, mbus_context_option option,
                                               long value);

MBUS_API void MBUS_CALL mbus_register_recv_event(mbus_handle* handle, mbus_traffic_cb event);
MBUS_API void MBUS_CALL mbus_register_send_event(mbus_handle* handle, mbus_traffic_cb event);
MBUS_API void MBUS_CALL mbus_register_scan_progress(mbus_handle* handle,
                                                    mbus_scan_progress_cb event);
MBUS_API void MBUS_CALL mbus_register_found_event(mbus_handle* handle, mbus_found_cb event);

/* Frames on the wire. Sends return 0 or -1. mbus_recv_frame returns 0 with
 * the frame filled, -2 for an invalid reply (bad checksum, garbage, several
 * slaves answering at once), -3 when nothing arrived, -1 for other failures.
 * It asks the line for exactly the bytes the frame still needs. */
MBUS_API int MBUS_CALL mbus_send_frame(mbus_handle* handle, mbus_frame* frame);
MBUS_API int MBUS_CALL mbus_recv_frame(mbus_handle* handle, mbus_frame* frame);
/* Reads and drops whatever still arrives: 1 when something did, 0 when the
 * line stayed silent, -1 on failure. */
MBUS_API int MBUS_CALL mbus_purge_frames(mbus_handle* handle);

/* SND_NKE; with purge_response set, the answer (one frame) is read and dropped. */
MBUS_API int MBUS_CALL mbus_send_ping_frame(mbus_handle* handle, int address, char purge_response);
/* REQ_UD2 with the frame count bit of the handle; the bit alternates only on
 * follow-up requests of a multi-telegram reply. */
MBUS_API int MBUS_CALL mbus_send_request_frame(mbus_handle* handle, int address);
MBUS_API int MBUS_CALL mbus_send_user_data_frame(mbus_handle* handle, int address,
                                                 const unsigned char* data, size_t data_size);
MBUS_API int MBUS_CALL mbus_send_select_frame(mbus_handle* handle, const char* secondary_addr_str);
MBUS_API int MBUS_CALL mbus_send_application_reset_frame(mbus_handle* handle, int address,
                                                         int subcode);
/* Asks the slave to change speed; after its acknowledgement the line itself
 * switches (the baud-rate hook with hooks installed). */
MBUS_API int MBUS_CALL mbus_send_switch_baudrate_frame(mbus_handle* handle, int address,
                                                       long baudrate);
MBUS_API int MBUS_CALL mbus_set_primary_address(mbus_handle* handle, int old_address,
                                                int new_address);

/* Requests data and follows "more records follow" for up to max_frames frames,
 * chaining them through reply->next (the caller frees the chain with
 * mbus_frame_free(reply->next)). 0 on success, -1 on failure. */
MBUS_API int MBUS_CALL mbus_sendrecv_request(mbus_handle* handle, int address, mbus_frame* reply,
                                             int max_frames);
/* Selection by secondary address or mask: 0 none, 1 one selected, 2 collision,
 * -1 error. Probing also stores the matching 16-character address. */
MBUS_API int MBUS_CALL mbus_select_secondary_address(mbus_handle* handle, const char* mask);
MBUS_API int MBUS_CALL mbus_probe_secondary_address(mbus_handle* handle, const char* mask,
                                                    char* matching_addr);
/* One request and one reply frame of the slave at address. 0 or -1. */
MBUS_API int MBUS_CALL mbus_read_slave(mbus_handle* handle, mbus_address* address,
                                       mbus_frame* reply);
/* Wildcard search below addr_mask, starting at character pos (0-15): probes
 * the mask and descends only where a probe collided. The scan-progress
 * callback gets every 16-character mask before it is probed (their first
 * characters run forward over the identification number); the device-found
 * callback gets each slave's reply once per address.
 * Identification digits (characters 1-8) are searched nibble by nibble (F the
 * wildcard); when slaves share the number, medium, version and then each
 * manufacturer byte are searched by whole byte values (FF the wildcard).
 * Slaves that no mask can single out (equal addresses; meters that differ
 * only in the manufacturer and take its wildcard only as FF FF; a meter whose
 * byte is FF where another matches it) are not reported: the handle's error
 * text names the remaining masks, "several slaves share the address
 * 12345678FFFF0107" (several joined by "; "), and the scan still ends with 0
 * after finding everything else. 0 when it ran to the end, -1 when the line
 * failed (a failing hook ends it at once) or the mask or pos was invalid. */
MBUS_API int MBUS_CALL mbus_scan_2nd_address_range(mbus_handle* handle, int pos,
                                                   const char* addr_mask);

/* Error texts. The handle keeps the text of its last error; library code
 * without a handle (and a null handle here) uses a per-thread fallback text.
 * mbus_error_str answers the handle's text, else the thread's, else null; the
 * text stays valid until the next call on the same handle or thread. */
MBUS_API char* MBUS_CALL mbus_error_str(mbus_handle* handle);
MBUS_API void MBUS_CALL mbus_error_str_set(char* message);
MBUS_API void MBUS_CALL mbus_error_str_set_ex(mbus_handle* handle, const char* text);
MBUS_API void MBUS_CALL mbus_error_reset(mbus_handle* handle);

#ifdef __cplusplus
}
#endif

#endif
