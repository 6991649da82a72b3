# uint32_t __cdecl StackDeltaAfterCall(const void* fn, uint32_t argc, const uint32_t* args)
#
# Pushes args right to left, calls fn, and returns by how many bytes ESP
# differs from its value before the pushes: 0 when the callee removed exactly
# its own arguments (stdcall), 4 * argc when it left them (cdecl).
    .text
    .globl _StackDeltaAfterCall
_StackDeltaAfterCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 8(%ebp), %edi      # fn
    movl 12(%ebp), %ebx     # argc
    movl 16(%ebp), %edx     # args
    movl %esp, %esi         # ESP before the arguments
1:  testl %ebx, %ebx
    jz 2f
    decl %ebx
    pushl (%edx,%ebx,4)
    jmp 1b
2:  call *%edi
    movl %esp, %eax
    subl %esi, %eax
    movl %esi, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
