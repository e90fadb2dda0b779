/* M-Bus protocol core: link-layer frames (EN 13757-2), application-layer
 * records (EN 13757-3), normalised records and the XML writers. Nothing here
 * does I/O; the handle and its transports are declared in mbus-io.h.
 *
 * Threads: every function may be called from any thread; functions share no
 * state except the read-only tables. Texts returned as `const char *` are
 * constants of the library (never freed). Texts returned as `char *` by the
 * XML writers and mbus_data_record_value are allocated with malloc() and are
 * released by the caller with free() of the same C runtime (msvcrt in the
 * Windows builds) or with mbus_str_free(). */
#ifndef MBUS_PROTOCOL_H
#define MBUS_PROTOCOL_H

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(MBUS_BUILDING_LIBRARY)
#define MBUS_API __declspec(dllexport)
#else
#define MBUS_API
#endif
#define MBUS_CALL __cdecl
#else
#define MBUS_API __attribute__((visibility("default")))
#define MBUS_CALL
#endif

typedef struct mbus_handle mbus_handle;

/* Frame kinds (mbus_frame.type and mbus_frame_new). */
#define MBUS_FRAME_TYPE_ANY 0
#define MBUS_FRAME_TYPE_ACK 1
#define MBUS_FRAME_TYPE_SHORT 2
#define MBUS_FRAME_TYPE_CONTROL 3
#define MBUS_FRAME_TYPE_LONG 4

#define MBUS_FRAME_ACK_BASE_SIZE 1
#define MBUS_FRAME_SHORT_BASE_SIZE 5
#define MBUS_FRAME_CONTROL_BASE_SIZE 9
#define MBUS_FRAME_LONG_BASE_SIZE 9

#define MBUS_FRAME_ACK_START 0xE5
#define MBUS_FRAME_SHORT_START 0x10
#define MBUS_FRAME_CONTROL_START 0x68
#define MBUS_FRAME_LONG_START 0x68
#define MBUS_FRAME_STOP 0x16

#define MBUS_FRAME_DATA_LENGTH 252
#define MBUS_DATA_RECORD_DATA_LENGTH 234
#define MBUS_DATA_INFO_BLOCK_DIFE_SIZE 10
#define MBUS_VALUE_INFO_BLOCK_VIFE_SIZE 10
#define MBUS_VALUE_INFO_BLOCK_CUSTOM_VIF_SIZE 128

/* Control field codes. */
#define MBUS_CONTROL_MASK_SND_NKE 0x40
#define MBUS_CONTROL_MASK_SND_UD 0x53
#define MBUS_CONTROL_MASK_REQ_UD2 0x5B
#define MBUS_CONTROL_MASK_REQ_UD1 0x5A
#define MBUS_CONTROL_MASK_RSP_UD 0x08
#define MBUS_CONTROL_MASK_FCB 0x20
#define MBUS_CONTROL_MASK_FCV 0x10
#define MBUS_CONTROL_MASK_ACD 0x20
#define MBUS_CONTROL_MASK_DFC 0x10
#define MBUS_CONTROL_MASK_DIR 0x40
#define MBUS_CONTROL_MASK_DIR_M2S 0x40
#define MBUS_CONTROL_MASK_DIR_S2M 0x00

/* Addresses. */
#define MBUS_ADDRESS_NETWORK_LAYER 253
#define MBUS_ADDRESS_BROADCAST_REPLY 254
#define MBUS_ADDRESS_BROADCAST_NOREPLY 255

/* Control information codes. */
#define MBUS_CONTROL_INFO_DATA_SEND 0x51
#define MBUS_CONTROL_INFO_DATA_SEND_MSB 0x55
#define MBUS_CONTROL_INFO_SELECT_SLAVE 0x52
#define MBUS_CONTROL_INFO_SELECT_SLAVE_MSB 0x56
#define MBUS_CONTROL_INFO_APPLICATION_RESET 0x50
#define MBUS_CONTROL_INFO_SET_BAUDRATE_300 0xB8
#define MBUS_CONTROL_INFO_SET_BAUDRATE_600 0xB9
#define MBUS_CONTROL_INFO_SET_BAUDRATE_1200 0xBA
#define MBUS_CONTROL_INFO_SET_BAUDRATE_2400 0xBB
#define MBUS_CONTROL_INFO_SET_BAUDRATE_4800 0xBC
#define MBUS_CONTROL_INFO_SET_BAUDRATE_9600 0xBD
#define MBUS_CONTROL_INFO_SET_BAUDRATE_19200 0xBE
#define MBUS_CONTROL_INFO_SET_BAUDRATE_38400 0xBF
#define MBUS_CONTROL_INFO_RESP_VARIABLE 0x72
#define MBUS_CONTROL_INFO_RESP_VARIABLE_MSB 0x76
#define MBUS_CONTROL_INFO_RESP_FIXED 0x73
#define MBUS_CONTROL_INFO_RESP_FIXED_MSB 0x77
#define MBUS_CONTROL_INFO_ERROR_GENERAL 0x70

/* Frame data kinds (mbus_frame_data.type). */
#define MBUS_DATA_TYPE_FIXED 1
#define MBUS_DATA_TYPE_VARIABLE 2
#define MBUS_DATA_TYPE_ERROR 3

/* Application error codes of CI 0x70 frames. */
#define MBUS_ERROR_DATA_UNSPECIFIED 0x00
#define MBUS_ERROR_DATA_UNIMPLEMENTED_CI 0x01
#define MBUS_ERROR_DATA_BUFFER_TOO_LONG 0x02
#define MBUS_ERROR_DATA_TOO_MANY_RECORDS 0x03
#define MBUS_ERROR_DATA_PREMATURE_END 0x04
#define MBUS_ERROR_DATA_TOO_MANY_DIFES 0x05
#define MBUS_ERROR_DATA_TOO_MANY_VIFES 0x06
#define MBUS_ERROR_DATA_RESERVED 0x07
#define MBUS_ERROR_DATA_APPLICATION_BUSY 0x08
#define MBUS_ERROR_DATA_TOO_MANY_READOUTS 0x09

#define MBUS_DIB_DIF_EXTENSION_BIT 0x80
#define MBUS_DIB_VIF_EXTENSION_BIT 0x80
#define MBUS_DIB_DIF_WITHOUT_EXTENSION 0x7F
#define MBUS_DIB_VIF_WITHOUT_EXTENSION 0x7F
#define MBUS_DATA_RECORD_DIF_MASK_DATA 0x0F
#define MBUS_DATA_RECORD_DIF_MASK_FUNCTION 0x30
#define MBUS_DATA_RECORD_DIF_MASK_STORAGE_NO 0x40
#define MBUS_DATA_RECORD_DIF_MASK_EXTENSION 0x80
#define MBUS_DATA_RECORD_DIF_MASK_NON_DATA 0xF0
#define MBUS_DATA_RECORD_DIFE_MASK_STORAGE_NO 0x0F
#define MBUS_DATA_RECORD_DIFE_MASK_TARIFF 0x30
#define MBUS_DATA_RECORD_DIFE_MASK_DEVICE 0x40
#define MBUS_DATA_RECORD_DIFE_MASK_EXTENSION 0x80
#define MBUS_DIB_DIF_MANUFACTURER_SPECIFIC 0x0F
#define MBUS_DIB_DIF_MORE_RECORDS_FOLLOW 0x1F
#define MBUS_DIB_DIF_IDLE_FILLER 0x2F

/* Link-layer frame. `next` chains the frames of a multi-telegram reply; the
 * first frame of a chain is owned by whoever created it, the following ones
 * are released together by mbus_frame_free on the second. */
typedef struct mbus_frame {
  unsigned char start1;
  unsigned char length1;
  unsigned char length2;
  unsigned char start2;
  unsigned char control;
  unsigned char address;
  unsigned char control_information;
  unsigned char checksum;
  unsigned char stop;
  unsigned char data[MBUS_FRAME_DATA_LENGTH];
  size_t data_size;
  int type;
  time_t timestamp;
  struct mbus_frame* next;
} mbus_frame;

typedef struct {
  unsigned char dif;
  unsigned char dife[MBUS_DATA_INFO_BLOCK_DIFE_SIZE];
  size_t ndife;
} mbus_data_information_block;

typedef struct {
  unsigned char vif;
  unsigned char vife[MBUS_VALUE_INFO_BLOCK_VIFE_SIZE];
  size_t nvife;
  unsigned char custom_vif[MBUS_VALUE_INFO_BLOCK_CUSTOM_VIF_SIZE];
} mbus_value_information_block;

/* One application-layer data record; `next` links the records of a reply,
 * released together by mbus_data_record_free on the first. */
typedef struct mbus_data_record {
  mbus_data_information_block dib;
  mbus_value_information_block vib;
  unsigned char data[MBUS_DATA_RECORD_DATA_LENGTH];
  size_t data_len;
  time_t timestamp;
  struct mbus_data_record* next;
} mbus_data_record;

/* The 12-byte header of a variable-structure reply, as on the wire. */
typedef struct {
  unsigned char id_bcd[4];
  unsigned char manufacturer[2];
  unsigned char version;
  unsigned char medium;
  unsigned char access_no;
  unsigned char status;
  unsigned char signature[2];
} mbus_data_variable_header;

/* A parsed variable-structure reply. `record` is the first record (owned;
 * mbus_data_record_free). `data` and `mfg_data` point into the frame the
 * block was parsed from and live as long as that frame. */
typedef struct {
  mbus_data_variable_header header;
  mbus_data_record* record;
  size_t nrecords;
  unsigned char* data;
  size_t data_len;
  unsigned char more_records_follow;
  unsigned char mdh;
  unsigned char* mfg_data;
  size_t mfg_data_len;
} mbus_data_variable;

/* The 16-byte block of a fixed-structure reply, as on the wire. */
typedef struct {
  unsigned char id_bcd[4];
  unsigned char tx_cnt;
  unsigned char status;
  unsigned char cnt1_type;
  unsigned char cnt2_type;
  unsigned char cnt1_val[4];
  unsigned char cnt2_val[4];
} mbus_data_fixed;

typedef struct {
  mbus_data_variable data_var;
  mbus_data_fixed data_fix;
  int type;
  int error;
} mbus_frame_data;

/* A normalised record: the value with its multiplier applied, the unit and
 * quantity texts and the record's position (storage, tariff, device). All
 * texts are owned by the record (mbus_record_free). */
typedef struct {
  union {
    double real_val;
    struct {
      char* value;
      int size;
    } str_val;
  } value;
  int is_numeric;
  char* unit;
  char* function_medium;
  char* quantity;
  int device;
  long tariff;
  long storage_number;
} mbus_record;

/* ---- Frames ---- */
MBUS_API mbus_frame* MBUS_CALL mbus_frame_new(int frame_type);
/* Frees the frame and every frame chained behind it; 0, or -1 for none. */
MBUS_API int MBUS_CALL mbus_frame_free(mbus_frame* frame);
MBUS_API int MBUS_CALL mbus_frame_calc_checksum(mbus_frame* frame);
MBUS_API int MBUS_CALL mbus_frame_calc_length(mbus_frame* frame);
/* Parses one frame from the start of `data`. Returns 0 when a whole frame
 * was read, a positive number n when at least n more bytes are needed (with
 * only the start byte: the rest of the header; with the header: the rest of
 * the frame), -1 when the bytes are not a valid frame (start, stop, lengths
 * or checksum). */
MBUS_API int MBUS_CALL mbus_parse(mbus_frame* frame, unsigned char* data, size_t data_size);
/* Writes the frame's bytes; the number of bytes written, or -1 when the
 * frame is invalid or `data_size` is too small. */
MBUS_API int MBUS_CALL mbus_frame_pack(mbus_frame* frame, unsigned char* data, size_t data_size);
/* 0 when the frame is consistent (start, stop, lengths, checksum), else -1. */
MBUS_API int MBUS_CALL mbus_frame_verify(mbus_frame* frame);
MBUS_API int MBUS_CALL mbus_frame_internal_pack(mbus_frame* frame, mbus_frame_data* frame_data);
MBUS_API int MBUS_CALL mbus_frame_type(mbus_frame* frame);
MBUS_API int MBUS_CALL mbus_frame_direction(mbus_frame* frame);
/* Writes the 16-character secondary address of a variable-structure reply
 * into `buffer` (at least 17 bytes) and returns it; NULL when the frame has
 * none. */
MBUS_API char* MBUS_CALL mbus_frame_get_secondary_address(mbus_handle* handle, mbus_frame* frame,
                                                          char* buffer);
/* Packs the SND_UD selection frame for a 16-character mask ('F' nibbles are
 * wildcards); 0, or -1 for an invalid mask. */
MBUS_API int MBUS_CALL mbus_frame_select_secondary_pack(mbus_frame* frame, char* address);
MBUS_API int MBUS_CALL mbus_is_primary_address(int value);
MBUS_API int MBUS_CALL mbus_is_secondary_address(const char* value);

/* ---- Application layer ---- */
MBUS_API mbus_frame_data* MBUS_CALL mbus_frame_data_new(void);
MBUS_API void MBUS_CALL mbus_frame_data_free(mbus_frame_data* data);
MBUS_API mbus_data_record* MBUS_CALL mbus_data_record_new(void);
/* Frees the record and every record linked behind it. */
MBUS_API void MBUS_CALL mbus_data_record_free(mbus_data_record* record);
MBUS_API void MBUS_CALL mbus_data_record_append(mbus_data_variable* data, mbus_data_record* record);
/* Parses a reply frame's application data; 0, or -1 with the reason kept as
 * the handle's last error. */
MBUS_API int MBUS_CALL mbus_frame_data_parse(mbus_handle* handle, mbus_frame* frame,
                                             mbus_frame_data* data);
MBUS_API int MBUS_CALL mbus_data_fixed_parse(mbus_frame* frame, mbus_data_fixed* data);
MBUS_API int MBUS_CALL mbus_data_variable_parse(mbus_frame* frame, mbus_data_variable* data);

MBUS_API const char* MBUS_CALL mbus_data_record_function(mbus_data_record* record);
MBUS_API const char* MBUS_CALL mbus_data_fixed_function(int status);
MBUS_API long MBUS_CALL mbus_data_record_storage_number(mbus_data_record* record);
MBUS_API long MBUS_CALL mbus_data_record_tariff(mbus_data_record* record);
MBUS_API int MBUS_CALL mbus_data_record_device(mbus_data_record* record);
MBUS_API const char* MBUS_CALL mbus_data_record_unit(mbus_data_record* record);
/* The record's value as text, allocated (free()); NULL when it has none. */
MBUS_API char* MBUS_CALL mbus_data_record_value(mbus_data_record* record);

/* ---- Lookups ---- */
MBUS_API const char* MBUS_CALL mbus_data_fixed_medium(mbus_data_fixed* data);
MBUS_API const char* MBUS_CALL mbus_data_fixed_unit(int medium_unit_byte);
MBUS_API const char* MBUS_CALL mbus_data_variable_medium_lookup(unsigned char medium);
MBUS_API const char* MBUS_CALL mbus_unit_prefix(int exp);
MBUS_API const char* MBUS_CALL mbus_data_error_lookup(int error);
MBUS_API const char* MBUS_CALL mbus_vib_unit_lookup(mbus_value_information_block* vib);
MBUS_API const char* MBUS_CALL mbus_vif_unit_lookup(unsigned char vif);
MBUS_API unsigned char MBUS_CALL mbus_dif_datalength_lookup(unsigned char dif);
/* "" when the product is not known. */
MBUS_API const char* MBUS_CALL mbus_data_product_name(mbus_data_variable_header* header);

/* ---- Value coding ---- */
MBUS_API unsigned int MBUS_CALL mbus_manufacturer_id(char* manufacturer);
MBUS_API int MBUS_CALL mbus_data_manufacturer_encode(unsigned char* m_data, unsigned char* m_code);
/* Writes the three-letter code into `buffer` (at least 4 bytes) and returns
 * it; NULL for no buffer. */
MBUS_API const char* MBUS_CALL mbus_decode_manufacturer(unsigned char byte1, unsigned char byte2,
                                                        char* buffer);
MBUS_API int MBUS_CALL mbus_data_bcd_encode(unsigned char* bcd_data, size_t bcd_data_size,
                                            int value);
MBUS_API int MBUS_CALL mbus_data_int_encode(unsigned char* int_data, size_t int_data_size,
                                            int value);
MBUS_API long long MBUS_CALL mbus_data_bcd_decode(unsigned char* bcd_data, size_t bcd_data_size);
MBUS_API long long MBUS_CALL mbus_data_bcd_decode_hex(unsigned char* bcd_data,
                                                      size_t bcd_data_size);
MBUS_API int MBUS_CALL mbus_data_int_decode(unsigned char* int_data, size_t int_data_size,
                                            int* value);
MBUS_API int MBUS_CALL mbus_data_long_decode(unsigned char* int_data, size_t int_data_size,
                                             long* value);
MBUS_API int MBUS_CALL mbus_data_long_long_decode(unsigned char* int_data, size_t int_data_size,
                                                  long long* value);
MBUS_API float MBUS_CALL mbus_data_float_decode(unsigned char* float_data);
/* Decodes date (type G, 2 bytes), date and time (type F, 4 bytes) or the
 * 6-byte date and time; an invalid or unknown form leaves `t` all zero. */
MBUS_API void MBUS_CALL mbus_data_tm_decode(struct tm* t, unsigned char* t_data,
                                            size_t t_data_size);
/* Reverses `len` bytes of text into `dst` (len + 1 bytes). */
MBUS_API void MBUS_CALL mbus_data_str_decode(unsigned char* dst, const unsigned char* src,
                                             size_t len);
/* Writes the bytes as "XX XX ..." into `dst` (max_len bytes, terminated). */
MBUS_API void MBUS_CALL mbus_data_bin_decode(unsigned char* dst, const unsigned char* src,
                                             size_t len, size_t max_len);
MBUS_API int MBUS_CALL mbus_str_xml_encode(unsigned char* dst, const unsigned char* src,
                                           size_t max_len);
/* Reads hex pairs (blanks and other separators skipped) into `dst`; the
 * number of bytes written. */
MBUS_API size_t MBUS_CALL mbus_hex2bin(unsigned char* dst, size_t dst_len, const unsigned char* src,
                                       size_t src_len);

/* ---- Normalised records ---- */
MBUS_API mbus_record* MBUS_CALL mbus_record_new(void);
MBUS_API void MBUS_CALL mbus_record_free(mbus_record* rec);
/* NULL (reason as the handle's last error) when the record has no value. */
MBUS_API mbus_record* MBUS_CALL mbus_parse_variable_record(mbus_handle* handle,
                                                           mbus_data_record* record);
MBUS_API mbus_record* MBUS_CALL mbus_parse_fixed_record(mbus_handle* handle, char statusByte,
                                                        char medium_unit_byte, unsigned char* data);
/* 0 with a number in *value_out_real or an allocated text (free()) in
 * *value_out_str; -1 for a record without a decodable value. */
MBUS_API int MBUS_CALL mbus_variable_value_decode(mbus_data_record* record, double* value_out_real,
                                                  char** value_out_str, int* value_out_str_size);
/* Unit and quantity are library constants; the value with the multiplier and
 * the VIFE corrections applied. 0, or -1 for an unknown code or VIFEs that
 * make the value something else than a reading of that quantity. */
MBUS_API int MBUS_CALL mbus_vif_unit_normalize(int vif, double value, char** unit_out,
                                               double* value_out, char** quantity_out);
MBUS_API int MBUS_CALL mbus_vib_unit_normalize(mbus_value_information_block* vib, double value,
                                               char** unit_out, double* value_out,
                                               char** quantity_out);

/* ---- XML (allocated; free()) ---- */
MBUS_API char* MBUS_CALL mbus_data_variable_xml(mbus_data_variable* data);
MBUS_API char* MBUS_CALL mbus_data_fixed_xml(mbus_data_fixed* data);
MBUS_API char* MBUS_CALL mbus_data_error_xml(int error);
MBUS_API char* MBUS_CALL mbus_frame_data_xml(mbus_frame_data* data);
MBUS_API char* MBUS_CALL mbus_data_variable_header_xml(mbus_data_variable_header* header);
/* The frame and every frame chained behind it, as one document. */
MBUS_API char* MBUS_CALL mbus_frame_xml(mbus_frame* frame);
MBUS_API char* MBUS_CALL mbus_data_variable_xml_normalized(mbus_data_variable* data);
MBUS_API char* MBUS_CALL mbus_frame_data_xml_normalized(mbus_frame_data* data);
/* Frees a text the library allocated (same as free() of its C runtime). */
MBUS_API void MBUS_CALL mbus_str_free(char* text);

/* ---- Printing to standard output ---- */
MBUS_API int MBUS_CALL mbus_frame_print(mbus_frame* frame);
MBUS_API int MBUS_CALL mbus_frame_data_print(mbus_frame_data* data);
MBUS_API int MBUS_CALL mbus_data_fixed_print(mbus_data_fixed* data);
MBUS_API int MBUS_CALL mbus_data_error_print(int error);
MBUS_API int MBUS_CALL mbus_data_variable_header_print(mbus_data_variable_header* header);
MBUS_API int MBUS_CALL mbus_data_variable_print(mbus_data_variable* data);
MBUS_API void MBUS_CALL mbus_hex_dump(const char* label, const char* buff, size_t len);
MBUS_API void MBUS_CALL mbus_dump_recv_event(unsigned char src_type, const char* buff, size_t len);
MBUS_API void MBUS_CALL mbus_dump_send_event(unsigned char src_type, const char* buff, size_t len);
/* Non-zero: the parse functions print the frames they read. */
MBUS_API void MBUS_CALL mbus_parse_set_debug(int debug);

#ifdef __cplusplus
}
#endif

#endif
