"""SMTP test server: takes every mail and writes it, exactly as it came,
into a maildir (tmp/ then new/). The first two lines of each file carry the
envelope: "X-Envelope-From: <addr>" and "X-Envelope-To: <addr>, <addr>".

Run with Debian's interpreter: /usr/bin/python3 smtp_server.py HOST PORT MAILDIR
"""
import asyncio
import os
import signal
import sys
import time

from aiosmtpd.controller import Controller


class MaildirHandler:
    def __init__(self, maildir):
        self.maildir = maildir
        self.counter = 0
        for sub in ("tmp", "new", "cur"):
            os.makedirs(os.path.join(maildir, sub), exist_ok=True)

    async def handle_DATA(self, server, session, envelope):
        self.counter += 1
        name = "%d.%d_%d.smtp" % (time.time(), os.getpid(), self.counter)
        head = ("X-Envelope-From: <%s>\r\nX-Envelope-To: %s\r\n" % (
            envelope.mail_from,
            ", ".join("<%s>" % r for r in envelope.rcpt_tos))).encode("utf-8")
        tmp = os.path.join(self.maildir, "tmp", name)
        with open(tmp, "wb") as f:
            f.write(head)
            f.write(envelope.original_content)
        os.rename(tmp, os.path.join(self.maildir, "new", name))
        return "250 OK"


def main():
    host, port, maildir = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    controller = Controller(MaildirHandler(maildir), hostname=host, port=port,
                            decode_data=False, enable_SMTPUTF8=True)
    controller.start()
    stop = asyncio.Event()
    loop = asyncio.new_event_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    loop.run_until_complete(stop.wait())
    controller.stop()


if __name__ == "__main__":
    main()
