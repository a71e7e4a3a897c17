// objc_msgSend for the System V x86-64 calling convention (Linux, and macOS
// on x86-64), over a runtime's own lookup: OBJC_MSGSEND_LOOKUP names a C
// function that takes the receiver (never nil) and the selector and returns
// the method. The stand-in runtime's wrapper (testbed/appkit/) names
// appkit_lookup; GNUstep's (testbed/gnustep/) names objc_msg_lookup, as gcc's
// runtime has no objc_msgSend of its own.
//
// Code written for Apple's runtime calls objc_msgSend through a pointer of
// the method's own type. The method's arguments are still in their registers
// (rdi, rsi, rdx, rcx, r8, r9, xmm0-7, and al for variadic calls) or on the
// stack; they are saved around the lookup and restored, and the method is
// entered by a jump, so that it sees the call exactly as its caller made it
// and returns straight to that caller. A nil receiver answers zero in both
// integer and both vector result registers, as on macOS.

#ifndef OBJC_MSGSEND_LOOKUP
#error "define OBJC_MSGSEND_LOOKUP as the runtime's lookup function"
#endif

        .text
        .globl  objc_msgSend
        .type   objc_msgSend, @function
objc_msgSend:
        .cfi_startproc
        testq   %rdi, %rdi
        jz      .Lnil
        pushq   %rbp
        .cfi_def_cfa_offset 16
        .cfi_offset %rbp, -16
        movq    %rsp, %rbp
        .cfi_def_cfa_register %rbp
        subq    $192, %rsp
        movaps  %xmm0, 0(%rsp)
        movaps  %xmm1, 16(%rsp)
        movaps  %xmm2, 32(%rsp)
        movaps  %xmm3, 48(%rsp)
        movaps  %xmm4, 64(%rsp)
        movaps  %xmm5, 80(%rsp)
        movaps  %xmm6, 96(%rsp)
        movaps  %xmm7, 112(%rsp)
        movq    %rdi, 128(%rsp)
        movq    %rsi, 136(%rsp)
        movq    %rdx, 144(%rsp)
        movq    %rcx, 152(%rsp)
        movq    %r8, 160(%rsp)
        movq    %r9, 168(%rsp)
        movq    %rax, 176(%rsp)
        call    OBJC_MSGSEND_LOOKUP@PLT
        movq    %rax, %r11
        movaps  0(%rsp), %xmm0
        movaps  16(%rsp), %xmm1
        movaps  32(%rsp), %xmm2
        movaps  48(%rsp), %xmm3
        movaps  64(%rsp), %xmm4
        movaps  80(%rsp), %xmm5
        movaps  96(%rsp), %xmm6
        movaps  112(%rsp), %xmm7
        movq    128(%rsp), %rdi
        movq    136(%rsp), %rsi
        movq    144(%rsp), %rdx
        movq    152(%rsp), %rcx
        movq    160(%rsp), %r8
        movq    168(%rsp), %r9
        movq    176(%rsp), %rax
        movq    %rbp, %rsp
        popq    %rbp
        .cfi_def_cfa %rsp, 8
        jmp     *%r11
.Lnil:
        xorl    %eax, %eax
        xorl    %edx, %edx
        pxor    %xmm0, %xmm0
        pxor    %xmm1, %xmm1
        ret
        .cfi_endproc
        .size   objc_msgSend, .-objc_msgSend

        .section .note.GNU-stack,"",@progbits
