// objc_msgSend for GNUstep on gcc's Objective-C runtime, which has none:
// its callers look a method up with objc_msg_lookup and call it themselves.
// Code written for Apple's runtime calls objc_msgSend through a pointer of
// the method's own type instead, so this keeps every argument register as
// it came (rdi..r9, rax for variadic callers, xmm0..xmm7), asks
// objc_msg_lookup for the method and jumps to it: the method then sees the
// call exactly as its caller made it and returns straight to that caller.
// A nil receiver answers zero in every result register, as on macOS.
// Only the System V x86-64 convention, shared by Linux and macOS x86-64.

        .text
        .globl  objc_msgSend
        .type   objc_msgSend, @function
objc_msgSend:
        .cfi_startproc
        testq   %rdi, %rdi
        jz      .Lnil
        // 8 (return address) + 200 keeps %rsp 16-byte aligned for the call.
        subq    $200, %rsp
        .cfi_adjust_cfa_offset 200
        movq    %rdi, 0(%rsp)
        movq    %rsi, 8(%rsp)
        movq    %rdx, 16(%rsp)
        movq    %rcx, 24(%rsp)
        movq    %r8, 32(%rsp)
        movq    %r9, 40(%rsp)
        movq    %rax, 48(%rsp)
        movaps  %xmm0, 64(%rsp)
        movaps  %xmm1, 80(%rsp)
        movaps  %xmm2, 96(%rsp)
        movaps  %xmm3, 112(%rsp)
        movaps  %xmm4, 128(%rsp)
        movaps  %xmm5, 144(%rsp)
        movaps  %xmm6, 160(%rsp)
        movaps  %xmm7, 176(%rsp)
        call    objc_msg_lookup@PLT
        movq    %rax, %r11
        movq    0(%rsp), %rdi
        movq    8(%rsp), %rsi
        movq    16(%rsp), %rdx
        movq    24(%rsp), %rcx
        movq    32(%rsp), %r8
        movq    40(%rsp), %r9
        movq    48(%rsp), %rax
        movaps  64(%rsp), %xmm0
        movaps  80(%rsp), %xmm1
        movaps  96(%rsp), %xmm2
        movaps  112(%rsp), %xmm3
        movaps  128(%rsp), %xmm4
        movaps  144(%rsp), %xmm5
        movaps  160(%rsp), %xmm6
        movaps  176(%rsp), %xmm7
        addq    $200, %rsp
        .cfi_adjust_cfa_offset -200
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
