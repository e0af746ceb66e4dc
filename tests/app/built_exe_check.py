#!/usr/bin/python3
"""What Windows reads from a built MolaFlash.exe or MolaFlashSim.exe, read from the file itself:
the application manifest (resource type 24, id 1) is well-formed XML that asks for an
administrator, names the supported systems, declares the scaling and depends on version 6 of
the common controls; the first icon group holds every size, each image really of its size and
depth; and the i686 MolaFlash.exe imports exactly what it imported before the manifest came
(less InitCommonControlsEx, now looked up at run time) with subsystem version 4.0, so that
Windows 95 and NT 4 still load it. Prints what it read; exits 1 on the first difference.
Usage: built_exe_check.py EXE...
"""
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

V1, V3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SYSTEMS = {"e2011457-1546-43c5-a5fe-008deee3d3f0": "Vista", "35138b9a-5d96-4fbd-8e2d-a2440225f93a": "7",
           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38": "8", "1f676c76-80e1-4239-95bb-83d0f6d0da78": "8.1",
           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a": "10/11"}
SETTINGS = f"{V3}application/{V3}windowsSettings/"
# Element path -> attributes or text it must have ("" : the text).
MANIFEST = {
    f"{V3}trustInfo/{V3}security/{V3}requestedPrivileges/{V3}requestedExecutionLevel":
        {"level": "requireAdministrator", "uiAccess": "false"},
    SETTINGS + "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware": {"": "true"},
    SETTINGS + "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness": {"": "system"},
    f"{V1}dependency/{V1}dependentAssembly/{V1}assemblyIdentity":
        {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
         "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"},
}
ICONS = {(256, 32), (48, 32), (32, 32), (24, 32), (16, 32), (32, 4), (16, 4)}
# What the i686 MolaFlash.exe of the commit before the manifest imported, InitCommonControlsEx aside.
IMPORTS = {
    "COMCTL32.DLL": "PropertySheetA",
    "KERNEL32.dll": "CloseHandle CreateFileA CreateMutexA DeleteCriticalSection DeviceIoControl "
    "EnterCriticalSection FreeLibrary GetLastError GetModuleHandleA GetModuleHandleW GetProcAddress "
    "GetStartupInfoA GetTickCount GetVersion InitializeCriticalSection IsDBCSLeadByteEx LeaveCriticalSection "
    "LoadLibraryA MultiByteToWideChar SetLastError SetUnhandledExceptionFilter Sleep TlsGetValue "
    "VirtualProtect VirtualQuery WideCharToMultiByte",
    "msvcrt.dll": "__getmainargs __initenv __mb_cur_max __p__acmdln __p__commode __p__fmode __set_app_type "
    "__setusermatherr _amsg_exit _cexit _errno _initterm _iob _lock _onexit _unlock abort atoi calloc exit "
    "fflush fprintf fputc free fwrite localeconv malloc memcpy memset setlocale signal strchr strerror strlen "
    "strncmp vfprintf wcslen",
    "USER32.dll": "CallWindowProcA GetParent GetWindowLongA IsDlgButtonChecked MessageBoxA PeekMessageA "
    "SendDlgItemMessageA SendMessageA SetWindowLongA wsprintfA",
}


def expect(what, seen, wanted):
    if seen != wanted:
        sys.exit(f"FAIL  {what}: {seen!r}, expected {wanted!r}")


def resources(pe, kind):
    """{id: data} of one resource type, in the file's order (the first group is the one shown)."""
    found = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id == kind:
            for entry in t.directory.entries:
                leaf = entry.directory.entries[0].data.struct
                found[entry.id] = pe.get_data(leaf.OffsetToData, leaf.Size)
    return found


def check(path):
    pe = pefile.PE(path)
    name = path.rsplit("/", 1)[-1]
    arch = {0x14C: "x86", 0x8664: "amd64"}[pe.FILE_HEADER.Machine]
    manifest = resources(pe, 24).get(1)
    expect(f"{name}: manifest resource 1", manifest is not None, True)
    try:
        root = ET.fromstring(manifest)
    except ET.ParseError as e:
        sys.exit(f"FAIL  {name}: the manifest is not well-formed XML: {e}")
    expect(f"{name}: manifest root", (root.tag, root.get("manifestVersion")), (V1 + "assembly", "1.0"))
    expect(f"{name}: its identity's processor", root.find(V1 + "assemblyIdentity").get("processorArchitecture"), arch)
    for place, wanted in MANIFEST.items():
        node = root.find(place)
        expect(f"{name}: {place.rsplit('}', 1)[-1]}", node is not None and
               {k: (node.text if k == "" else node.get(k)) for k in wanted}, wanted)
    systems = [SYSTEMS.get(n.get("Id", "").strip("{}"), n.get("Id"))
               for n in root.findall(f"{COMPAT}compatibility/{COMPAT}application/{COMPAT}supportedOS")]
    expect(f"{name}: supported systems", systems, list(SYSTEMS.values()))

    groups, icons = resources(pe, 14), resources(pe, 3)
    group = groups[min(groups)]
    expect(f"{name}: icon group header", struct.unpack_from("<HHH", group)[:2], (0, 1))
    read = set()
    for i in range(struct.unpack_from("<H", group, 4)[0]):
        width, height, colours, _, planes, bits, size, icon = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        data = icons[icon]
        if data.startswith(b"\x89PNG"):  # width, height, bit depth, colour type 6: RGBA
            image = struct.unpack_from(">IIBB", data, 16)
            image = (image[0], image[1], 32 if image[2:] == (8, 6) else 0)
        else:
            image = struct.unpack_from("<iiHH", data, 4)
            image = (image[0], image[1] // 2, image[3])
        expect(f"{name}: icon {icon}", (image, colours, planes, size),
               ((width or 256, height or 256, bits), 16 if bits == 4 else 0, 1, len(data)))
        read.add((image[0], bits))
    expect(f"{name}: sizes of the first icon group", read, ICONS)
    note = ""
    if arch == "x86" and name == "MolaFlash.exe":
        imports = {d.dll.decode(): " ".join(i.name.decode() for i in d.imports) for d in pe.DIRECTORY_ENTRY_IMPORT}
        expect(f"{name}: imports", imports, IMPORTS)
        header = pe.OPTIONAL_HEADER
        expect(f"{name}: subsystem and its version",
               (header.Subsystem, header.MajorSubsystemVersion, header.MinorSubsystemVersion), (2, 4, 0))
        note = f"; imports as recorded ({sum(len(v.split()) for v in IMPORTS.values())} functions), subsystem 4.0"
    print(f"ok    {name} ({arch}): manifest {len(manifest)} bytes, requireAdministrator, "
          f"{len(systems)} systems, dpiAware, Common-Controls 6.0.0.0; icon group {min(groups)}: "
          + ", ".join(f"{s}px {b}-bit" for s, b in sorted(read, key=lambda x: (-x[1], -x[0]))) + note)


for exe in sys.argv[1:] or sys.exit(__doc__):
    check(exe)
