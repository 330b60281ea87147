# Keeps one headless LibreOffice running for Sheetbeacon and recalculates workbooks in it
# through UNO. Sheetbeacon starts this script with Debian's python3 (python3-uno) and speaks to
# it over its standard input and output, one JSON object a line:
#
#   started:  {"starting": <LibreOffice's process id, which is its process group's>}, then
#             {"ready": true, "pid": <the same>}
#             or {"ready": false, "died": true, "error": "..."} when LibreOffice ended or never
#             answered while starting
#   request:  {"id": n, "in": <file URL>, "out": <file URL>, "trusted": <folder URL>}
#   reply:    {"id": n, "ok": true}
#             or {"id": n, "ok": false, "died": <true when LibreOffice itself ended>, "error": "..."}
#
# The end of standard input (Sheetbeacon ended, or stopped the bridge) ends LibreOffice too.
#
# Arguments: <soffice> <profile URL> <pipe name> <seconds to wait for LibreOffice to answer>

import json
import os
import signal
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def reply(obj):
    sys.stdout.write(json.dumps(obj) + "\n")
    sys.stdout.flush()


class Office:
    def __init__(self, soffice, profile_url, pipe, start_seconds):
        self.soffice = soffice
        self.profile_url = profile_url
        self.pipe = pipe
        self.start_seconds = start_seconds
        self.proc = None
        self.output = None
        self.desktop = None
        self.config = None

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def what_ended(self):
        code = self.proc.poll() if self.proc else None
        if code is None:
            how = "stopped answering"
        elif code < 0:
            how = "crashed (signal %d)" % -code
        else:
            how = "ended with exit code %d" % code
        tail = ""
        if self.output is not None:
            try:
                self.output.seek(0)
                lines = [l.strip() for l in self.output.read().decode("utf-8", "replace").splitlines() if l.strip()]
                if lines:
                    tail = ": " + " / ".join(lines[-3:])
            except OSError:
                pass
        return "LibreOffice " + how + tail

    def start(self):
        self.output = tempfile.TemporaryFile()
        # A session of its own, so that stopping it reaches every process it started.
        self.proc = subprocess.Popen(
            [self.soffice, "--headless", "--invisible", "--norestore", "--nologo", "--nolockcheck",
             "--nodefault", "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe,
             "-env:UserInstallation=" + self.profile_url],
            stdin=subprocess.DEVNULL, stdout=self.output, stderr=subprocess.STDOUT, start_new_session=True)
        # Its process group, for Sheetbeacon to stop it even when this bridge hangs.
        reply({"starting": self.proc.pid})
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + self.start_seconds
        while True:
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                break
            except NoConnectException:
                if not self.alive() or time.monotonic() > deadline:
                    raise OfficeEnded(self.what_ended())
                time.sleep(0.05)
        smgr = ctx.ServiceManager
        self.desktop = smgr.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        self.dispatcher = smgr.createInstanceWithContext("com.sun.star.frame.DispatchHelper", ctx)
        self.config = smgr.createInstanceWithContext("com.sun.star.configuration.ConfigurationProvider", ctx)

    def trust(self, folder_url):
        # Links to other workbooks are only updated for a document in a trusted location: the
        # workbook's own folder is, in this private profile, and its macros never run.
        access = self.config.createInstanceWithArguments(
            "com.sun.star.configuration.ConfigurationUpdateAccess",
            (prop("nodepath", "/org.openoffice.Office.Common/Security/Scripting"),))
        uno.invoke(access, "setPropertyValue", ("SecureURL", uno.Any("[]string", (folder_url,))))
        access.commitChanges()

    def recalculate(self, in_url, out_url, trusted):
        self.trust(trusted)
        doc = self.desktop.loadComponentFromURL(in_url, "_blank", 0, (
            prop("Hidden", True), prop("ReadOnly", True),
            prop("UpdateDocMode", uno.getConstantByName("com.sun.star.document.UpdateDocMode.FULL_UPDATE")),
            prop("MacroExecutionMode", uno.getConstantByName("com.sun.star.document.MacroExecMode.NEVER_EXECUTE"))))
        if doc is None:
            raise ValueError("LibreOffice could not open the workbook")
        try:
            # At once, rather than in the idle loop that a headless instance may never reach.
            self.dispatcher.executeDispatch(doc.getCurrentController().getFrame(), ".uno:UpdateTableLinks", "", 0, ())
            doc.calculateAll()
            doc.storeToURL(out_url, (prop("FilterName", "Calc MS Excel 2007 XML"),))
        finally:
            try:
                doc.close(True)
            except Exception:
                pass

    def stop(self):
        if self.proc is None:
            return
        if self.alive() and self.desktop is not None:
            try:
                self.desktop.terminate()
            except Exception:
                pass
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                pass
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except OSError:
            pass
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            pass


class OfficeEnded(Exception):
    pass


def main():
    # Nothing Sheetbeacon had open (its files, the locks it holds) stays open in us or in the
    # LibreOffice we start, which outlive the work that opened them.
    os.closerange(3, 4096)
    soffice, profile_url, pipe, start_seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    office = Office(soffice, profile_url, pipe, start_seconds)
    # Stopped by Sheetbeacon: LibreOffice goes with us.
    signal.signal(signal.SIGTERM, lambda *_: (office.stop(), os._exit(0)))
    try:
        office.start()
    except Exception as e:
        reply({"ready": False, "died": True, "error": str(e)})
        office.stop()
        return
    reply({"ready": True, "pid": office.proc.pid})
    try:
        for line in sys.stdin:
            line = line.strip()
            if not line:
                continue
            request = json.loads(line)
            try:
                office.recalculate(request["in"], request["out"], request["trusted"])
                reply({"id": request["id"], "ok": True})
            except Exception as e:
                died = not office.alive() or type(e).__name__ == "DisposedException"
                error = office.what_ended() if not office.alive() else (getattr(e, "Message", "") or str(e))
                reply({"id": request["id"], "ok": False, "died": died, "error": error})
                if died:
                    break
    finally:
        office.stop()


if __name__ == "__main__":
    main()
