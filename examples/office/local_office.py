#!/usr/bin/python3
"""A local office for trying the whole exchange by hand: an FTP server on 127.0.0.1 that serves
the demo office's answer and, after every export it receives from the agent, writes a new answer
that takes the received orders over (state 2), as the office's accounting system would.

Run it with Debian's python3 (it needs python3-pyftpdlib), then enter the printed settings in
"Настройки" -> " Обмен ". Stop it with Ctrl+C.
"""
import argparse
import io
import os
import re
import shutil
import tempfile
import zipfile

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

HERE = os.path.dirname(os.path.abspath(__file__))
USER, PASSWORD, FOLDER = "agent", "demo", "office"


def answer(folder, taken, packed):
    """Writes ToPDA.zip (ToPDA.sqd with ToPDA.sql) or, for plain FTP, ToPDA.sqd alone into the
    served folder; the script ends by taking the received orders over."""
    with open(os.path.join(HERE, "ToPDA.sqd"), "rb") as f:
        script = f.read()
    with open(os.path.join(HERE, "ToPDA.sql"), "rb") as f:
        bulk = f.read()
    if not packed:
        # The device fetches only ToPDA.sqd over plain FTP, so the bulk catalogue travels inside
        # it: a version-2 script whose EXEC lines are the bulk's statements (its own begin and
        # commit left out, as the import batches them itself). The import upper-cases the Latin
        # letters of command lines; the catalogue's values hold none.
        body = script.partition(b"\r\n")[2]
        statements = [l.strip().rstrip(b";") for l in bulk.split(b"\r\n")]
        inlined = b"".join(b'<EXEC "' + s + b'">\r\n' for s in statements
                           if s and s.lower() not in (b"begin", b"commit"))
        script = b"Z_AGENT RESPONSE 0002-0000-0000-0002\r\n" + body + inlined
    if taken:
        lines = "".join('<EXEC "update DOC_HEADS set DOC_STATE=2 where GUID=\'%s\'">\r\n' % g
                        for g in taken)
        note = '<SHOWMSGWND "Офис принял заявок: %d.">\r\n' % len(taken)
        script += (lines + note).encode("cp1251")
    for name in ("ToPDA.sqd", "ToPDA.sql", "ToPDA.zip"):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            os.remove(path)
    if packed:
        with zipfile.ZipFile(os.path.join(folder, "ToPDA.zip"), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("ToPDA.sqd", script)
            z.writestr("ToPDA.sql", bulk)
    else:
        with open(os.path.join(folder, "ToPDA.sqd"), "wb") as f:
            f.write(script)


class OfficeHandler(FTPHandler):
    def ftp_RNTO(self, path):
        # The device sends its export under a temporary name and renames it into place once
        # whole: the rename is when the export is received.
        renamed = super().ftp_RNTO(path)
        if renamed:
            self.on_file_received(renamed[1])
        return renamed

    def on_file_received(self, path):
        name = os.path.basename(path)
        if name not in ("PDATo1C.xml", "PDATo1C.zip"):
            return
        packed = name.endswith(".zip")
        with open(path, "rb") as f:
            data = f.read()
        if packed:
            with zipfile.ZipFile(io.BytesIO(data)) as z:
                data = z.read("PDATo1C.xml")
        taken = re.findall(rb'<DOC ID="([^"]*)"', data)
        taken = [g.decode("cp1251") for g in taken]
        answer(os.path.dirname(path), taken, packed)
        print("Получено заявок: %d (%s); ответ готов." % (len(taken), name), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=2121)
    parser.add_argument("--zip", action="store_true", help="answer with ToPDA.zip (UseZip on)")
    parser.add_argument("--home", help="serve from this folder and keep what the agent sent "
                        "(default: a temporary folder, removed on exit)")
    args = parser.parse_args()
    home = args.home or tempfile.mkdtemp(prefix="vendrix-office-")
    folder = os.path.join(home, FOLDER)
    os.makedirs(folder, exist_ok=True)
    answer(folder, [], args.zip)
    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, home, perm="elradfmw")
    OfficeHandler.authorizer = authorizer
    OfficeHandler.passive_ports = range(args.port + 1, args.port + 50)
    server = FTPServer(("127.0.0.1", args.port), OfficeHandler)
    print("Локальный офис запущен. Настройки обмена:")
    print("  Сервер: 127.0.0.1")
    print("  Порт:   %d" % args.port)
    print("  Папка:  %s" % FOLDER)
    print("  Логин:  %s" % USER)
    print("  Пароль: %s" % PASSWORD)
    print("  ZIP-сжатие: %s" % ("да" if args.zip else "нет"), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.close_all()
        if not args.home:
            shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
