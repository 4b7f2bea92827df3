/* export_epd: the library's boundary to the host program.
 *
 * On 32-bit Windows every function is stdcall and exported undecorated; booleans are one byte
 * (1 true, 0 false). Texts are zero-terminated code page 1251 bytes. Call the functions from one
 * thread, one call at a time. */
#ifndef EXPORT_EPD_H
#define EXPORT_EPD_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define EPD_STDCALL __stdcall
#else
#define EPD_STDCALL
#endif

#if defined(EPD_BUILDING_LIBRARY)
#if defined(_WIN32)
#define EPD_API
#else
#define EPD_API __attribute__((visibility("default")))
#endif
#else
#define EPD_API
#endif

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* Sets the host's base directory and loads the options from DATA\export_epd.ini. Always true. */
EPD_API bool EPD_STDCALL InitializeEPD(const char *path);

/* Exports one invoice, given its message number; the second argument has no effect. */
EPD_API bool EPD_STDCALL ExportEPD(int32_t idMsg, int32_t unused);

/* Exports every invoice waiting in ORDERS\EPD\epdct.dbf. False when the pass did not run. */
EPD_API bool EPD_STDCALL ExportNewEPD(void);

/* Shows the settings menu modally (Windows); elsewhere says where the settings are edited. */
EPD_API void EPD_STDCALL ShowSets(void);

/* Every message box of the library goes through the handler once one is set; NULL restores
 * the system's boxes. kind 0: error (one OK button, title "Error"); kind 1: confirmation
 * (Yes/No, title "Confirm"), a nonzero answer means Yes. */
typedef int(EPD_STDCALL *EPDMessageHandler)(int kind, const char *title, const char *text, void *user);
EPD_API void EPD_STDCALL EPDSetMessageHandler(EPDMessageHandler handler, void *user);

#ifdef __cplusplus
}
#endif

#endif /* EXPORT_EPD_H */
