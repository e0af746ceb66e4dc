#!/usr/bin/python3
"""What Windows reads from built MolaFlash.exe and MolaFlashSim.exe files: the manifest (type 24,
id 1) as XML with each element, every image of the first icon group at its real size and depth,
and for the i686 MolaFlash.exe the imports and subsystem version that let old Windows load it.
Usage: built_exe_check.py EXE...      Prints what it read; exits 1 at the first difference.
"""
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

V1, V3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
OS = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS = f"{V3}application/{V3}windowsSettings/{{http://schemas.microsoft.com/SMI/"
# Element -> its attributes, or its text under "".
MANIFEST = {
    f"{V3}trustInfo/{V3}security/{V3}requestedPrivileges/{V3}requestedExecutionLevel":
        {"level": "requireAdministrator", "uiAccess": "false"},
    SETTINGS + "2005/WindowsSettings}dpiAware": {"": "true"},
    SETTINGS + "2016/WindowsSettings}dpiAwareness": {"": "system"},
    f"{V1}dependency/{V1}dependentAssembly/{V1}assemblyIdentity":
        {"name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0", "processorArchitecture": "*",
         "publicKeyToken": "6595b64144ccf1df", "type": "win32", "language": "*"},
}
SYSTEMS = ["{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Vista, 7
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8, 8.1
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"]  # 10 and 11
ICONS = {(256, 32), (48, 32), (32, 32), (24, 32), (16, 32), (32, 4), (16, 4)}
# The i686 MolaFlash.exe's imports: those it had before the manifest came, less InitCommonControlsEx (looked
# up now) and GetTickCount, with DispatchMessageA (for the windows' messages during an update).
IMPORTS = """COMCTL32.DLL: PropertySheetA KERNEL32.dll: CloseHandle CreateFileA CreateMutexA DeleteCriticalSection
DeviceIoControl EnterCriticalSection FreeLibrary GetLastError GetModuleHandleA GetModuleHandleW GetProcAddress
GetStartupInfoA GetVersion InitializeCriticalSection IsDBCSLeadByteEx LeaveCriticalSection LoadLibraryA
MultiByteToWideChar SetLastError SetUnhandledExceptionFilter Sleep TlsGetValue VirtualProtect VirtualQuery
WideCharToMultiByte msvcrt.dll: __getmainargs __initenv __mb_cur_max __p__acmdln __p__commode __p__fmode
__set_app_type __setusermatherr _amsg_exit _cexit _errno _initterm _iob _lock _onexit _unlock abort atoi calloc exit
fflush fprintf fputc free fwrite localeconv malloc memcpy memset setlocale signal strchr strerror strlen strncmp
vfprintf wcslen USER32.dll: CallWindowProcA DispatchMessageA GetParent GetWindowLongA IsDlgButtonChecked MessageBoxA PeekMessageA
SendDlgItemMessageA SendMessageA SetWindowLongA wsprintfA""".split()


def expect(what, seen, wanted):
    if seen != wanted:
        sys.exit(f"FAIL  {what}: {seen!r}, expected {wanted!r}")


def resources(pe, kind):
    """{id: data} of one resource type, in the file's (ascending) order."""
    leaves = [(e.id, e.directory.entries[0].data.struct) for t in pe.DIRECTORY_ENTRY_RESOURCE.entries
              if t.id == kind for e in t.directory.entries]
    return {id: pe.get_data(leaf.OffsetToData, leaf.Size) for id, leaf in leaves}


def check(path):
    pe, name = pefile.PE(path), path.rsplit("/", 1)[-1]
    arch = {0x14C: "x86", 0x8664: "amd64"}[pe.FILE_HEADER.Machine]
    manifest = resources(pe, 24).get(1, b"")
    try:
        root = ET.fromstring(manifest)
    except ET.ParseError as e:
        sys.exit(f"FAIL  {name}: no manifest of well-formed XML: {e}")
    expect(f"{name}: manifest", (root.tag, root.find(V1 + "assemblyIdentity").get("processorArchitecture")),
           (V1 + "assembly", arch))
    for place, wanted in MANIFEST.items():
        node = root.find(place)
        expect(f"{name}: {place.rsplit('}', 1)[1]}", node is not None and
               {k: node.get(k, node.text if k == "" else None) for k in wanted}, wanted)
    expect(f"{name}: supportedOS", [n.get("Id") for n in root.iterfind(f"{OS}compatibility/{OS}application/{OS}supportedOS")],
           SYSTEMS)

    groups, icons = resources(pe, 14), resources(pe, 3)
    group, read = groups[min(groups)], []
    for i in range(struct.unpack_from("<H", group, 4)[0]):
        width, bits, size, icon = struct.unpack_from("<B5xHIH", group, 6 + 14 * i)
        data = icons[icon]
        png = data.startswith(b"\x89PNG")
        real = (struct.unpack_from(">I" if png else "<i", data, 16 if png else 4)[0],
                32 if png and data[24:26] == b"\x08\x06" else struct.unpack_from("<H", data, 14)[0])
        expect(f"{name}: icon {icon} (size, depth, bytes)", (*real, size), (width or 256, bits, len(data)))
        read.append(real)
    expect(f"{name}: sizes of the first icon group", set(read), ICONS)
    note = ""
    if arch == "x86" and name == "MolaFlash.exe":
        seen = [w for d in pe.DIRECTORY_ENTRY_IMPORT for w in [d.dll.decode() + ":"] + [i.name.decode() for i in d.imports]]
        expect(f"{name}: imports gained, lost", (set(seen) - set(IMPORTS), set(IMPORTS) - set(seen)), (set(), set()))
        h = pe.OPTIONAL_HEADER
        expect(f"{name}: subsystem, version", (h.Subsystem, h.MajorSubsystemVersion, h.MinorSubsystemVersion), (2, 4, 0))
        note = f"; imports {len(seen) - 4} functions; subsystem 4.0"
    print(f"ok    {name} ({arch}): manifest of {len(manifest)} bytes with each element; icon group {min(groups)}: "
          + ", ".join(f"{s} px {b}-bit" for s, b in read) + note)


for exe in sys.argv[1:] or sys.exit(__doc__):
    check(exe)
