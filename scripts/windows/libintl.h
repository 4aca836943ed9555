/* Message catalogues are not used on Windows: every call hands back the untranslated text (libintl.c). */
#ifndef VELMORA_LIBINTL_H
#define VELMORA_LIBINTL_H
#include <locale.h>
#ifndef LC_MESSAGES
#define LC_MESSAGES 1729
#endif
#define VELMORA_INTL_FMT(n) __attribute__((format_arg(n)))
#define VELMORA_INTL_FMT2(a, b) __attribute__((format_arg(a), format_arg(b)))
#ifdef __cplusplus
extern "C" {
#endif
char* gettext(const char* msgid) VELMORA_INTL_FMT(1);
char* dgettext(const char* domain, const char* msgid) VELMORA_INTL_FMT(2);
char* dcgettext(const char* domain, const char* msgid, int category) VELMORA_INTL_FMT(2);
char* ngettext(const char* msgid, const char* plural, unsigned long n) VELMORA_INTL_FMT2(1, 2);
char* dngettext(const char* domain, const char* msgid, const char* plural, unsigned long n)
    VELMORA_INTL_FMT2(2, 3);
char* dcngettext(const char* domain, const char* msgid, const char* plural, unsigned long n, int category)
    VELMORA_INTL_FMT2(2, 3);
char* textdomain(const char* domain);
char* bindtextdomain(const char* domain, const char* dir);
char* bind_textdomain_codeset(const char* domain, const char* codeset);
#ifdef __cplusplus
}
#endif
#endif
