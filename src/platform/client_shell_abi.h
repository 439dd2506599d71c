/* The cabinet shell's object as a shared library (libclientshell.so; the shell's own automation object
   "ClientShell.ClientShellInterface3" on Windows cabinets). The host loads the library when it attaches,
   then calls the shell's methods through these entry points, one per method, with C linkage.

   Every entry point returns 0 on success, otherwise the run-time error number the host raises for that
   call (429 from qh_shell_attach when the shell is not running; 440 "Automation error" when a method
   fails, for example because the shell went away). Results come back through pointers; arguments that
   the shell takes by reference are passed as pointers the shell may write.

     int qh_shell_attach(void)                             attach to the running shell
     int qh_shell_release(void)                            the host dropped its reference
     int qh_shell_GetCredit(double* credit)
     int qh_shell_GetBank(double* bank)
     int qh_shell_GetStake(int16_t* level, double* stake)  the stake of a level 0 to 9
     int qh_shell_UseCreditEx(int32_t* stake_index)        takes one game at that stake from the credit
     int qh_shell_UseCreditFromBankEx(int32_t* stake_index)  ... from the bank
     int qh_shell_AddToBank(double amount)
     int qh_shell_FreeGameStarted(void)
*/
#ifndef QUIZHOST_CLIENT_SHELL_ABI_H
#define QUIZHOST_CLIENT_SHELL_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* NOLINTBEGIN(modernize-redundant-void-arg): a C header, where (void) is the empty parameter list */
typedef int (*qh_shell_attach_fn)(void);
typedef int (*qh_shell_release_fn)(void);
typedef int (*qh_shell_get_fn)(double* value);
typedef int (*qh_shell_get_stake_fn)(int16_t* level, double* stake);
typedef int (*qh_shell_use_credit_fn)(int32_t* stake_index);
typedef int (*qh_shell_add_to_bank_fn)(double amount);
typedef int (*qh_shell_notify_fn)(void);
/* NOLINTEND(modernize-redundant-void-arg) */

#ifdef __cplusplus
}
#endif

#define QH_SHELL_AUTOMATION_ERROR 440

#endif
