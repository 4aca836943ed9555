/* iconv for the Windows build: GLib's win_iconv.c (Windows' own code pages), under names of its own so that it
 * does not collide with the copy GLib links in. */
#ifndef VELMORA_ICONV_H
#define VELMORA_ICONV_H
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
typedef void* iconv_t;
#define iconv_open winiconv_open
#define iconv_close winiconv_close
#define iconv winiconv
iconv_t iconv_open(const char* tocode, const char* fromcode);
int iconv_close(iconv_t cd);
size_t iconv(iconv_t cd, char** inbuf, size_t* inbytesleft, char** outbuf, size_t* outbytesleft);
#ifdef __cplusplus
}
#endif
#endif
