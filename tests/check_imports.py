#!/usr/bin/env python3
"""Fails when a Windows program we build would not load on Windows 7 SP1.

Windows refuses to start a program that imports one function its DLLs lack,
or whose header asks for a newer system, before any of our code runs; a
static runtime library can bring such an import in unnoticed. Reads each
program's header and import table with the toolchain's objdump.

    check_imports.py --objdump OBJDUMP PROGRAM.exe...
"""
import re
import subprocess
import sys

# DLLs every Windows 7 has. The api-ms-win-* sets and the universal C
# runtime (ucrtbase) arrived later; the compiler's own DLLs (libstdc++,
# libgcc, libwinpthread) would mean the program is not self-contained.
SYSTEM_DLLS = {
    "advapi32", "comctl32", "comdlg32", "gdi32", "imm32", "kernel32", "msvcrt", "ole32",
    "oleaut32", "shell32", "shlwapi", "user32", "uxtheme", "version", "winmm", "ws2_32",
}

# Functions of Windows 8 and later that toolchains, static runtimes or a
# careless call bring in; the headers' floor keeps our own code from them.
NEWER_FUNCTIONS = {
    "AddDllDirectory", "AdjustWindowRectExForDpi", "AreDpiAwarenessContextsEqual",
    "CopyFile2", "CreateFile2", "CreateFileMappingFromApp", "DiscardVirtualMemory",
    "EnableNonClientDpiScaling", "EnterSynchronizationBarrier", "GetCurrentPackageFullName",
    "GetCurrentPackageId", "GetCurrentThreadStackLimits", "GetDpiForMonitor",
    "GetDpiForSystem", "GetDpiForWindow", "GetOverlappedResultEx", "GetPackageFamilyName",
    "GetProcessMitigationPolicy", "GetSystemMetricsForDpi", "GetSystemTimePreciseAsFileTime",
    "GetThreadDescription", "GetWindowDpiAwarenessContext", "InitializeSynchronizationBarrier",
    "LoadPackagedLibrary", "MapViewOfFileFromApp", "OfferVirtualMemory",
    "PrefetchVirtualMemory", "RemoveDllDirectory", "SetDefaultDllDirectories",
    "SetProcessDpiAwareness", "SetProcessDpiAwarenessContext", "SetProcessMitigationPolicy",
    "SetThreadDescription", "SetThreadDpiAwarenessContext", "SystemParametersInfoForDpi",
    "VirtualAlloc2", "WaitOnAddress", "WakeByAddressAll", "WakeByAddressSingle",
}
NEWER_PREFIXES = ("PathCch", "PathAllocCanonicalize", "PathAllocCombine")
WINDOWS_7 = (6, 1)


def problems(objdump, program):
    dump = subprocess.run([objdump, "-p", program], check=True, capture_output=True,
                          text=True).stdout
    found = []
    for field in ("OSystem", "Subsystem"):
        major = re.search(rf"^Major{field}Version\s+(\d+)", dump, re.M)
        minor = re.search(rf"^Minor{field}Version\s+(\d+)", dump, re.M)
        if not (major and minor):
            return [f"no {field} version in the header: is this a Windows program?"]
        version = (int(major[1]), int(minor[1]))
        if version > WINDOWS_7:
            found.append(f"header asks for {field} version {version[0]}.{version[1]}")
    imports = {}
    dll = None
    for line in dump.splitlines():
        if m := re.match(r"\s*DLL Name: (\S+)", line):
            dll = m[1].lower().removesuffix(".dll")
            imports[dll] = []
        elif dll and (m := re.match(r"\s*[0-9a-f]+\s+\d+\s+(\w+)\s*$", line)):
            imports[dll].append(m[1])
        elif not line.strip():
            dll = None if dll and imports[dll] else dll
    # An empty result would pass anything: objdump's output must have changed.
    if not imports.get("kernel32"):
        return found + ["no functions imported from KERNEL32 read: cannot check"]
    for dll, functions in sorted(imports.items()):
        if dll not in SYSTEM_DLLS:
            found.append(f"imports {dll}.dll, which Windows 7 lacks or we must not need")
        found += [f"imports {dll}!{f} (Windows 8 or later)" for f in functions
                  if f in NEWER_FUNCTIONS or f.startswith(NEWER_PREFIXES)]
    return found


def main(argv):
    if len(argv) < 3 or argv[0] != "--objdump":
        sys.exit(__doc__)
    failed = False
    for program in argv[2:]:
        found = problems(argv[1], program)
        failed |= bool(found)
        print(f"{program}: " + ("FAILS on Windows 7" if found else "loads on Windows 7"))
        for problem in found:
            print(f"  {problem}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
