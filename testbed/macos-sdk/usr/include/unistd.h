// The one POSIX call quenbrix makes on macOS.
#ifndef QUENBRIX_SDK_UNISTD_H
#define QUENBRIX_SDK_UNISTD_H

#ifdef __cplusplus
extern "C" {
#endif

typedef int pid_t;
pid_t getpid(void);

#ifdef __cplusplus
}
#endif

#endif
