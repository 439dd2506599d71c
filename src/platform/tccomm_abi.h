/* The cabinet's credit library "tccomm" (libtccomm.so here, tccomm.dll on Windows cabinets): four entry
   points with C linkage, the standard Windows calling convention on Windows. Money is counted in credits.
   The host binds each entry point by name at its first call and examines only the results of cget and
   bget. */
#ifndef QUIZHOST_TCCOMM_ABI_H
#define QUIZHOST_TCCOMM_ABI_H

#include <stdint.h>

#ifdef _WIN32
#define TCCOMM_CALL __stdcall
#else
#define TCCOMM_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* NOLINTBEGIN(modernize-redundant-void-arg): a C header, where (void) is the empty parameter list */
typedef int32_t(TCCOMM_CALL* tccomm_cget_fn)(void);           /* the current credit */
typedef int32_t(TCCOMM_CALL* tccomm_bget_fn)(void);           /* the current bank */
typedef int32_t(TCCOMM_CALL* tccomm_cuse_fn)(int32_t price);  /* takes one game's price from the credit */
typedef int32_t(TCCOMM_CALL* tccomm_badd_fn)(int32_t amount); /* adds a whole amount to the bank */
/* NOLINTEND(modernize-redundant-void-arg) */

#ifdef __cplusplus
}
#endif

#endif
