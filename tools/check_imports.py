#!/usr/bin/env python3
"""Usage: check_imports.py --objdump OBJDUMP PROGRAM.exe...

Fails when a program would not load on Windows 7 SP1: Windows refuses one
that imports a function its DLLs lack, or whose header asks for a newer
system. A static runtime library can bring such an import in unnoticed."""
import re
import subprocess
import sys

# Every Windows 7 has these; not api-ms-win-*, ucrtbase or the compiler's own.
SYSTEM_DLLS = set("""advapi32 comctl32 comdlg32 gdi32 imm32 kernel32 msvcrt ole32 oleaut32
    shell32 shlwapi user32 uxtheme version winmm ws2_32""".split())

# Windows 8+ functions that toolchains and static runtimes bring in.
NEWER = re.compile(r"""(AddDllDirectory|AdjustWindowRectExForDpi|AreDpiAwarenessContextsEqual
    |CopyFile2|CreateFile2|CreateFileMappingFromApp|DiscardVirtualMemory|EnableNonClientDpiScaling
    |EnterSynchronizationBarrier|GetCurrentPackage\w*|GetCurrentThreadStackLimits|GetDpiFor\w+
    |GetOverlappedResultEx|GetPackageFamilyName|GetProcessMitigationPolicy|GetSystemMetricsForDpi
    |GetSystemTimePreciseAsFileTime|GetThreadDescription|GetWindowDpiAwarenessContext
    |InitializeSynchronizationBarrier|LoadPackagedLibrary|MapViewOfFileFromApp|OfferVirtualMemory
    |PrefetchVirtualMemory|RemoveDllDirectory|SetDefaultDllDirectories|SetProcessDpiAwareness\w*
    |SetProcessMitigationPolicy|SetThreadDescription|SetThreadDpiAwarenessContext
    |SystemParametersInfoForDpi|VirtualAlloc2|WaitOnAddress|WakeByAddress\w+|PathCch\w+
    |PathAlloc\w+)$""", re.X)


def problems(objdump, program):
    dump = subprocess.run([objdump, "-p", program], check=True, capture_output=True,
                          text=True).stdout
    found = []
    for field in ("OSystem", "Subsystem"):
        version = tuple(int(re.search(rf"^{part}{field}Version\s+(\d+)", dump, re.M)[1])
                        for part in ("Major", "Minor"))
        if version > (6, 1):
            found.append(f"header asks for {field} version {version[0]}.{version[1]}")
    imports = re.findall(r"DLL Name: (\S+)\n(.*?)\n\n", dump, re.S)
    if not any(dll.lower() == "kernel32.dll" for dll, _ in imports):
        return found + ["no imports from KERNEL32 read: objdump's output must have changed"]
    for dll, table in imports:
        name = dll.lower().removesuffix(".dll")
        if name not in SYSTEM_DLLS:
            found.append(f"imports {dll}, which Windows 7 lacks or we must not need")
        found += [f"imports {dll}!{f} (Windows 8 or later)"
                  for f in re.findall(r"^\s*[0-9a-f]+\s+\d+\s+(\w+)\s*$", table, re.M)
                  if NEWER.match(f)]
    return found


if len(sys.argv) < 4 or sys.argv[1] != "--objdump":
    sys.exit(__doc__)
failed = False
for program in sys.argv[3:]:
    found = problems(sys.argv[2], program)
    failed |= bool(found)
    print(f"{program}: " + ("FAILS on Windows 7" if found else "loads on Windows 7"))
    print("".join(f"  {problem}\n" for problem in found), end="")
sys.exit(1 if failed else 0)
