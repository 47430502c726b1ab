"""The release as a Windows user gets it. The release command makes both
packages; the zip holds the program and its two readmes for Notepad, and the
program starts from the unpacked folder; the exe carries its manifest and the
version of project(). In a fresh Wine prefix the installer installs silently,
the installed program shows its window, and the silent uninstaller ends it
and removes what was installed, keeping the settings. The installer goes
nowhere but Program Files, and its logon task's definition holds user and
folder names that XML must escape; a task it could not register is not left.
The logon start leaves the choice to go online in the user's settings; the
firewall rule for server mode is added at install and removed at uninstall,
through a netsh that keeps the command lines, and a rule that could not be
added is not left. DLLs planted beside the unpacked exe under the names of
system DLLs that are not among Windows' known ones are never loaded.

    release_test.py SOURCE_DIR RELEASE_DIR WINE_RUN CONTROL_EXE SCHTASKS_STAND_IN NETSH_STAND_IN MARKER_DLL
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
import zipfile

source, out, wine_run, control_exe, schtasks_stand_in, netsh_stand_in, marker_dll = sys.argv[1:8]
sys.path.insert(0, os.path.join(source, "tests", "driver"))
from remote import Remote  # noqa: E402

BOM = b"\xef\xbb\xbf"
INSTDIR = "C:\\Program Files\\Tamarin Time"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tamarin Time"
SETTINGS_KEY = "HKCU\\Software\\Halden Works\\Tamarin Time"
MACHINE_SETTINGS_KEY = "HKLM\\Software\\Halden Works\\Tamarin Time"
SERVICE_SERVER = "127.0.0.64"  # nobody serves there
RUN_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
ODD_USER = "R&D<\"'>"
ODD_PROGRAMS = "C:\\Tools & Apps's"
RULE = 'advfirewall firewall %s rule name="Tamarin Time (SNTP)"'
ADD_RULE = (RULE % "add" + ' dir=in action=allow program="%s\\tamarin-time.exe" protocol=UDP localport=123'
            ' profile=private,domain')
failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(what)
        print("FAILED %s:\n  got      %r\n  expected %r" % (what, got, expected))


def resources(pe):
    """The PE image's resources by (type, id), first language of each."""
    header = struct.unpack_from("<I", pe, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", pe, header + 6)[0], struct.unpack_from("<H", pe, header + 20)[0]
    table_rva = struct.unpack_from("<I", pe, header + 24 + 112 + 2 * 8)[0]  # PE32+, the third data directory

    def offset(rva):
        for i in range(sections):
            _, va, raw_size, raw = struct.unpack_from("<IIII", pe, header + 24 + optional_size + 40 * i + 8)
            if va <= rva < va + raw_size:
                return rva - va + raw
        raise ValueError("RVA %#x outside every section" % rva)

    base = offset(table_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", pe, base + directory + 12)
        return [struct.unpack_from("<II", pe, base + directory + 16 + 8 * i) for i in range(named + ids)]

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            data_rva, size = struct.unpack_from("<II", pe, base + entries(languages & 0x7FFFFFFF)[0][1])
            found[(kind, name)] = pe[offset(data_rva):offset(data_rva) + size]
    return found


def check_exe(pe, version):
    major, minor, patch = (int(part) for part in version.split("."))
    header = struct.unpack_from("<I", pe, 0x3C)[0]
    check("exe without symbols, under 300 KiB", (struct.unpack_from("<II", pe, header + 12), len(pe) < 300 * 1024),
          ((0, 0), True))
    found = resources(pe)
    block = found[(16, 1)]
    fixed = struct.unpack_from("<6I", block, block.index(b"\xbd\x04\xef\xfe"))
    check("version block's numbers", fixed[2:], ((major << 16) | minor, patch << 16) * 2)
    strings = block.decode("utf-16-le", "replace")
    check("version block's texts", [re.search(key + "\0+([^\0]*)", strings).group(1)
                                    for key in ("FileVersion", "ProductVersion")], [version] * 2)
    about = "Tamarin Time version %s\nNetwork Time client software" % version
    check("About box's version", about in found[(5, 103)].decode("utf-16-le", "replace"), True)

    manifest = ET.fromstring(found[(24, 1)])
    elements = [(e.tag.split("}")[1], e.attrib, (e.text or "").strip()) for e in manifest.iter()]
    controls = [a for tag, a, _ in elements if tag == "assemblyIdentity" and a["name"].endswith("Common-Controls")]
    check("manifest: common controls", [(a["name"], a["version"]) for a in controls],
          [("Microsoft.Windows.Common-Controls", "6.0.0.0")])
    check("manifest: DPI awareness", [t for tag, _, t in elements if tag == "dpiAware"], ["true"])
    check("manifest: execution level", [a["level"] for tag, a, _ in elements if tag == "requestedExecutionLevel"],
          ["asInvoker"])
    check("manifest: Windows 7, 8, 8.1, 10 and 11", [a["Id"] for tag, a, _ in elements if tag == "supportedOS"],
          ["{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"])


def windows_text(path, version):
    with open(os.path.join(source, path), "rb") as f:
        return BOM + f.read().replace(b"@PROJECT_VERSION@", version.encode()).replace(b"\n", b"\r\n")


def wine(*args):
    result = subprocess.run([wine_run] + list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return result.returncode, result.stdout.decode("cp932", "replace")


def registry_values(key):
    """A key's values as {name: data}, or None when it is not there."""
    status, text = wine("reg", "query", key)
    if status != 0:
        return None
    return dict(re.findall(r"^\s+(\S+)\s+REG_\w+\s+(.*?)\s*$", text, re.M))


def start_program(exe_path):
    """The program at this Windows path, started through control.exe, with
    settings of the test's own; whether its window shows."""
    os.environ["TAMARIN_EXE"] = exe_path
    remote = Remote(wine_run, control_exe, {"szServerName": "s:127.0.0.1", "fStayAfterAdjustment": 0})
    return remote, remote.call("shown")


# System DLLs that Windows does not protect as known DLLs, which the
# program loads (iphlpapi) or once imported (wsock32). Not bcrypt, which the
# program loads too: Wine's own DLLs import it, and told to prefer a native
# one, Wine takes it from beside the exe for them, where Windows loads a
# known DLL's imports from the system folder. Nor the common controls, which
# come from the side-by-side assembly that the manifest names.
PLANTED = ["iphlpapi.dll", "wsock32.dll"]


def plant_dlls(folder, drive_c):
    """Marker DLLs beside the exe under PLANTED's names, which Wine, told
    to, loads from there as Windows would; the folder their markers go to."""
    markers = os.path.join(drive_c, "markers")
    os.makedirs(markers, exist_ok=True)
    for name in PLANTED:
        shutil.copy(marker_dll, os.path.join(folder, name))
        wine("reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\tamarin-time.exe\\DllOverrides", "/v",
             name[:-4], "/d", "native,builtin", "/f")
    return markers


def stand_in(drive_c, name, program):
    """The program in place of system32's name, the real one kept in C:\\name;
    that folder's path on this side."""
    keep = os.path.join(drive_c, name)
    os.makedirs(keep)
    system = os.path.join(drive_c, "windows", "system32", name + ".exe")
    shutil.move(system, os.path.join(keep, name + ".exe"))
    shutil.copy(program, system)
    # Wine's own programs come before a file of the same name unless told.
    wine("reg", "add", "HKCU\\Software\\Wine\\DllOverrides", "/v", name + ".exe", "/d", "native,builtin", "/f")
    return keep


def service_state():
    for line in wine("sc", "query", "TamarinTime")[1].splitlines():
        if "STATE" in line:
            return line.split()[-1]
    return None


def run_value():
    """The command the Run key starts at every logon as "Tamarin Time", or None."""
    status, text = wine("reg", "query", RUN_KEY, "/v", "Tamarin Time")
    found = re.search(r"REG_SZ\s+(.*?)\s*$", text, re.M)
    return found.group(1) if status == 0 and found else None


def netsh_calls(keep):
    """The command lines netsh was given since the last look."""
    path = os.path.join(keep, "calls.txt")
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        calls = f.read().splitlines()
    os.remove(path)
    return calls


def check_odd_names(setup, drive_c, task, netsh):
    """Installs as ODD_USER with Program Files in ODD_PROGRAMS, through a
    schtasks that keeps the definition and then one that fails; then with a
    firewall rule that cannot be added."""
    keep = stand_in(drive_c, "schtasks", schtasks_stand_in)
    wine("reg", "add", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion", "/v", "ProgramFilesDir",
         "/d", ODD_PROGRAMS, "/f")
    # A program started from outside Wine takes USERNAME from here.
    wine("reg", "add", "HKCU\\Volatile Environment", "/v", "USERNAME", "/d", ODD_USER, "/f")

    status = wine(setup, "/S", "/SERVICE=0")[0]
    definition = ET.parse(os.path.join(keep, "task.xml")).getroot()
    values = [e.text for e in definition.iter() if e.tag.split("}")[1] in ("UserId", "Command", "WorkingDirectory")]
    folder = ODD_PROGRAMS + "\\Tamarin Time"
    check("odd names: exit code, task made, no service, definition's values",
          (status, os.path.exists(task), service_state(), [v.rsplit("\\", 1)[-1] for v in values[:2]] + values[2:]),
          (0, True, None, [ODD_USER, ODD_USER, '"%s\\tamarin-time.exe"' % folder, folder]))
    settings = [(e.tag.split("}")[1], e.text) for e in definition.iter()
                if e.tag.split("}")[1] in ("ExecutionTimeLimit", "DisallowStartIfOnBatteries")]
    with open(os.path.join(keep, "path.txt"), encoding="utf-16-le") as f:
        written_at = f.read()
    left = os.path.exists(os.path.join(drive_c, folder[3:].replace("\\", "/"), "logon-task.xml"))
    check("logon task: its settings, written in the program's folder and gone after",
          (sorted(settings), written_at, left),
          ([("DisallowStartIfOnBatteries", "false"), ("ExecutionTimeLimit", "PT0S")], folder + "\\logon-task.xml",
           False))
    check("logon start goes online", (registry_values(SETTINGS_KEY) or {}).get("fStartAtFirst"), "0x1")
    check("odd names: the firewall rule's program", netsh_calls(netsh)[1:], [ADD_RULE % folder])

    open(os.path.join(netsh, "fail"), "w").close()
    status = wine(setup, "/S", "/SERVICE=0")[0]
    os.remove(os.path.join(netsh, "fail"))
    check("failed firewall rule: exit code, rule removed", (status, netsh_calls(netsh)),
          (2, [RULE % "delete", ADD_RULE % folder, RULE % "delete"]))

    open(os.path.join(keep, "fail"), "w").close()
    status = wine(setup, "/S", "/SERVICE=0")[0]
    check("failed registration: exit code, task left", (status, os.path.exists(task)), (2, False))


def main():
    with open(os.path.join(source, "CMakeLists.txt")) as f:
        version = re.search(r"project\(TamarinTime VERSION (\d+\.\d+\.\d+)", f.read()).group(1)
    subprocess.run([os.path.join(source, "scripts", "release.sh"), out], check=True)
    name = "tamarin-time-%s-win64" % version

    with zipfile.ZipFile(os.path.join(out, name + ".zip")) as archive:
        check("zip's files", sorted(archive.namelist()),
              [name + "/README-ja.txt", name + "/README.txt", name + "/tamarin-time.exe", name + "/tamarinc.exe"])
        check("README.txt", archive.read(name + "/README.txt"), windows_text("README.md", version))
        check("README-ja.txt", archive.read(name + "/README-ja.txt"),
              windows_text("resources/README-ja.txt.in", version))
        exe = archive.read(name + "/tamarin-time.exe")
        check_exe(exe, version)
        home = os.path.join(out, "wine")
        shutil.rmtree(home, ignore_errors=True)
        archive.extractall(os.path.join(home, "unpacked"))

    os.environ["TAMARIN_WINE_HOME"] = home
    subprocess.run([wine_run, "--start", home], check=True)
    try:
        drive_c = os.path.join(home, "prefix", "drive_c")
        markers = plant_dlls(os.path.join(home, "unpacked", name), drive_c)
        remote, shown = start_program("Z:" + os.path.join(home, "unpacked", name, "tamarin-time.exe").replace("/", "\\"))
        check("unpacked program: window shown, ended", (shown, remote.stop()), ("yes", "exit 0"))
        check("unpacked program: no DLL planted beside it loaded", os.listdir(markers), [])

        setup = os.path.join(out, name + "-setup.exe")
        netsh = stand_in(drive_c, "netsh", netsh_stand_in)
        # The service polls as soon as it is installed: at an address of its
        # own, so that it takes no answer meant for another test's client.
        wine("reg", "add", SETTINGS_KEY, "/v", "szServerName", "/d", SERVICE_SERVER, "/f")
        check("installer's exit code", wine(setup, "/S", "/D=C:\\Elsewhere")[0], 0)
        installed = os.path.join(drive_c, "Program Files", "Tamarin Time")
        shortcut = os.path.join(drive_c, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                                "Tamarin Time.lnk")
        # Wine's task scheduler keeps a task's settings, but not its trigger,
        # principal or command.
        task = os.path.join(drive_c, "windows", "system32", "tasks", "Tamarin Time")
        check("folder asked for by /D= not made", os.path.exists(os.path.join(drive_c, "Elsewhere")), False)
        check("installed files", sorted(os.listdir(installed)),
              ["README-ja.txt", "README.txt", "tamarin-time.exe", "tamarinc.exe", "uninstall.exe"])
        with open(os.path.join(installed, "tamarin-time.exe"), "rb") as f:
            check("installed exe is the zip's", f.read() == exe, True)
        check("Start menu entry", os.path.isfile(shortcut), True)
        entry = registry_values(UNINSTALL_KEY) or {}
        check("uninstall entry", [entry.get(v) for v in ("DisplayName", "DisplayVersion", "UninstallString")],
              ["Tamarin Time", version, '"%s\\uninstall.exe"' % INSTDIR])
        check("the service runs, the window program starts at every logon, no logon task",
              (service_state(), run_value(), os.path.exists(task)),
              ("RUNNING", '"%s\\tamarin-time.exe"' % INSTDIR, False))
        check("the user's settings became the machine's",
              (registry_values(MACHINE_SETTINGS_KEY) or {}).get("szServerName"), SERVICE_SERVER)
        check("firewall rule at install", netsh_calls(netsh), [RULE % "delete", ADD_RULE % INSTDIR])
        status, text = wine(INSTDIR + "\\tamarinc.exe", "status")
        check("tamarinc asks the service", (status, "サーバー: %s" % SERVICE_SERVER in text), (1, True))

        remote, shown = start_program(INSTDIR + "\\tamarin-time.exe")
        check("installed program's window shown", shown, "yes")
        wine(os.path.join(installed, "uninstall.exe"), "/S")
        # The uninstaller works from a copy of itself that it starts and leaves.
        for _ in range(600):
            if not os.path.exists(installed):
                break
            time.sleep(0.1)
        check("program ended by the uninstaller", remote.wait(10000), "exit 0")
        remote.stop()
        check("left after uninstalling: folder, shortcut, entry, task",
              [os.path.exists(p) for p in (installed, shortcut)] + [registry_values(UNINSTALL_KEY),
                                                                    os.path.exists(task)],
              [False, False, None, False])
        check("firewall rule at uninstall", netsh_calls(netsh), [RULE % "delete"])
        check("service and logon start removed", (service_state(), run_value()), (None, None))
        check("settings kept", (registry_values(SETTINGS_KEY) or {}).get("szServerName"), "127.0.0.1")
        check_odd_names(setup, drive_c, task, netsh)
    finally:
        subprocess.run([wine_run, "--stop", home])
    print("%d failed" % len(failures) if failures else "release: all checks passed")
    return 1 if failures else 0


sys.exit(main())
