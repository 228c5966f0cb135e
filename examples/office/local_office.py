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
    """Writes ToPDA.sqd (and ToPDA.sql), or ToPDA.zip holding both, into the served folder."""
    with open(os.path.join(HERE, "ToPDA.sqd"), "rb") as f:
        script = f.read()
    if taken:
        lines = "".join('<EXEC "update DOC_HEADS set DOC_STATE=2 where GUID=\'%s\'">\r\n' % g
                        for g in taken)
        note = '<SHOWMSGWND "Офис принял заявок: %d.">\r\n' % len(taken)
        script += (lines + note).encode("cp1251")
    with open(os.path.join(HERE, "ToPDA.sql"), "rb") as f:
        bulk = f.read()
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
        with open(os.path.join(folder, "ToPDA.sql"), "wb") as f:
            f.write(bulk)


class OfficeHandler(FTPHandler):
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
    args = parser.parse_args()
    home = tempfile.mkdtemp(prefix="vendrix-office-")
    folder = os.path.join(home, FOLDER)
    os.makedirs(folder)
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
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
