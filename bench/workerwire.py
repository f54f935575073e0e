"""The worker's side of the wire, for the benchmark's drivers: requests framed
as the window's process frames them, each PDF sent open beside its request,
and the failure read out of a reply. A worker built before requests carried
a token is driven with tokens=False, one built before the first-page flag
left the request with page_flag=True (implied by tokens=False)."""
import socket
import struct

HELLO, CONVERT = 1, 2


class WorkerStopped(EOFError):
    pass


def qstring(text):
    data = text.encode("utf-16-be")
    return struct.pack(">I", len(data)) + data


def request(kind, job=("", "", "", ""), token=1, tokens=True, page_flag=False):
    source, geometry, output, image_format = job
    tagged = struct.pack(">Q", token) if tokens else b""
    flag = struct.pack(">B", 1) if page_flag or not tokens else b""
    message = (struct.pack(">B", kind) + tagged + qstring(source) + flag + qstring(geometry)
               + qstring(output) + qstring(image_format) + qstring("") + struct.pack(">B", 0))
    return struct.pack(">I", len(message)) + message


def read_exactly(stream, size):
    data = b""
    while len(data) < size:
        chunk = stream.read(size - len(data))
        if not chunk:
            raise WorkerStopped
        data += chunk
    return data


def exchange(requests, replies, message, document=None):
    """Sends the request, with the open document as the window's process does."""
    if document is None:
        requests.sendall(message)
    else:
        with open(document, "rb") as opened:
            socket.send_fds(requests, [message], [opened.fileno()])
    length = struct.unpack(">I", read_exactly(replies, 4))[0]
    return read_exactly(replies, length)


def failure_of(reply, tokens=True):
    if tokens:
        reply = reply[8:]
    text_length = struct.unpack(">I", reply[:4])[0]
    offset = 4 + (0 if text_length == 0xFFFFFFFF else text_length)
    failure_length = struct.unpack(">I", reply[offset:offset + 4])[0]
    if failure_length in (0, 0xFFFFFFFF):
        return ""
    return reply[offset + 4:offset + 4 + failure_length].decode("utf-16-be")
