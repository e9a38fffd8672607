"""Folder, environment and registry references in search strings, as a run resolves them on the
machine: each prerequisite's evidence lies only where its reference leads, so "found" in the log
means that the reference was resolved to exactly that place."""

from harness import read_log

LOG_WINDOWS_PATH = r"C:\package\run.log"
FOUND = "An acceptable version was found."
FIXTURE = "fixture-versioned.dll"  # file version 1.2.3.4
LABELS = ("Searching for:", "Search result:", "Prerequisite selected for install:",
          "No prerequisite must be installed.", "Wrong OS or Os language for:")
FILE_SEARCH, SUBFOLDER_NAMES = "0", "14"

# name, options, search kind, search string, the evidence: a file (folder, file name) or a folder
CASES = [
    ("Beside the chainer", "", FILE_SEARCH, r"[SETUPEXEDIR]beside\fixture-versioned.dll",
     (r"C:\package\beside", FIXTURE)),
    ("32-bit program files", "", FILE_SEARCH, r"[ProgramFilesFolder]QuillonProbe32\fixture-versioned.dll",
     (r"C:\Program Files (x86)\QuillonProbe32", FIXTURE)),
    ("64-bit program files", "", FILE_SEARCH, r"[ProgramFiles64Folder]QuillonProbe64\fixture-versioned.dll",
     (r"C:\Program Files\QuillonProbe64", FIXTURE)),
    ("Common application data", "", FILE_SEARCH, r"[CommonAppDataFolder]QuillonProbe\fixture-versioned.dll",
     (r"C:\ProgramData\QuillonProbe", FIXTURE)),
    # With x the search asks for the native system folder; the file is only in the 64-bit one.
    ("Native system folder", "x", FILE_SEARCH, r"[SystemFolder]quillon-probe64.dll",
     (r"C:\windows\system32", "quillon-probe64.dll")),
    ("32-bit system folder", "", FILE_SEARCH, r"[SystemFolder]quillon-probe32.dll",
     (r"C:\windows\syswow64", "quillon-probe32.dll")),
    ("Environment variable", "", FILE_SEARCH, r"%QUILLON_PROBE_FOLDER%\fixture-versioned.dll",
     (r"C:\probe-env", FIXTURE)),
    ("Registry value", "", FILE_SEARCH, r"!HKCU\Software\QuillonProbe\Folder!fixture-versioned.dll",
     (r"C:\probe-reg", FIXTURE)),
    # An undefined variable is empty text, so the path becomes relative to the chainer's folder.
    ("Undefined variable", "", FILE_SEARCH, r"%QUILLON_PROBE_UNDEFINED%relative\fixture-versioned.dll",
     (r"C:\package\relative", FIXTURE)),
    # Property names match in their exact case only: the lower-case one stays in the file name.
    ("Unknown property", "", FILE_SEARCH, r"[programfilesfolder]fixture-versioned.dll",
     (r"C:\package", "[programfilesfolder]fixture-versioned.dll")),
    # Two references in a row, each resolved once.
    ("Two references", "", FILE_SEARCH, r"[WindowsFolder]%QUILLON_PROBE_SUBFOLDER%\fixture-versioned.dll",
     (r"C:\windows\quillon-probe", FIXTURE)),
    ("Sub-folders", "", SUBFOLDER_NAMES, r"[CommonAppDataFolder]QuillonVersions",
     r"C:\ProgramData\QuillonVersions\1.2.3"),
]


def test_search_strings_find_evidence_where_their_references_lead(prefix):
    for *_, evidence in CASES:
        if isinstance(evidence, tuple):
            prefix.install(FIXTURE, folder=evidence[0], name=evidence[1])
        else:
            prefix.unix_path(evidence).mkdir(parents=True)
    prefix.reg_add(r"HKCU\Software\QuillonProbe", "Folder", "C:\\probe-reg\\", view=64)  # one key in both views

    sections = {"GeneralOptions": {"Options": "q"}, "PREREQ_CHAINER": {"LogFile": LOG_WINDOWS_PATH},
                "PREREQUISITES": {f"App{n}": case[0] for n, case in enumerate(CASES, 1)}}
    for n, (_, options, kind, search, _) in enumerate(CASES, 1):
        sections[f"App{n}"] = {"SetupFile": "missing-package.exe", "Options": options, "SearchType1": kind,
                               "SearchString1": search, "VerMin1": "1.2", "VerMax1": "1.2.3.4"}
    chainer = prefix.install_chainer("setup.exe")
    chainer.write_ini(sections)

    result = chainer.run(env={"QUILLON_PROBE_FOLDER": r"C:\probe-env", "QUILLON_PROBE_SUBFOLDER": "quillon-probe"})

    assert result.exit_code == 0
    entries = [e for e in read_log(prefix.unix_path(LOG_WINDOWS_PATH)).entries if e.startswith(LABELS)]
    expected = []
    for name, *_ in CASES:
        expected += ["Searching for:" + name, "Search result:" + FOUND]
    assert entries == expected + ["No prerequisite must be installed."]
