"""Hostile answers: a normal answer bent the way a broken or hostile server
bends it, for the download engine's integrity tests."""

HUGE_TOTAL = 400000000000

MODES = ("shortRange", "wrongStart", "changedTotal", "earlyClose", "hugeTotal", "stall", "resumeAs200",
         "trickle")

RESUME_CUT = 300000  # resumeAs200: bytes of a range from 0 sent before the close
TRICKLE = 100        # trickle: body bytes of every answer


def _set_content_range(reply, first, last, total):
    reply.headers = [(n, v) for n, v in reply.headers if n.lower() != "content-range"]
    reply.headers.append(("Content-Range", "bytes %d-%d/%d" % (first, last, total)))


def bend(reply, mode):
    """Changes reply in place; returns extra step keys for sending it
    (closeAfter, stallAfter). Answers that are not 206 or 200 stay as they are."""
    total = reply.source.length
    partial = reply.status == 206
    if mode == "earlyClose":
        # The whole body announced (the caller served it without Range), half sent.
        return {"closeAfter": reply.length // 2} if reply.status == 200 else {}
    if mode == "stall":
        # Headers and half the body, then silence with the connection open.
        return {"stallAfter": reply.length // 2} if reply.status in (200, 206) else {}
    if mode == "trickle":
        # Every answer announces its length, carries a few bytes and closes.
        return {"closeAfter": TRICKLE}
    if mode == "resumeAs200" and partial:
        if reply.start == 0:
            return {"closeAfter": RESUME_CUT}
        # A resumed range gets the whole resource from byte 0.
        reply.status = 200
        reply.start, reply.end = 0, total
        reply.headers = [(n, v) for n, v in reply.headers if n.lower() != "content-range"]
        return {}
    if not partial:
        return {}
    if mode == "shortRange":
        # Truthful about what it sends, but sends half of what was asked.
        reply.end = reply.start + max(1, reply.length // 2)
        _set_content_range(reply, reply.start, reply.end - 1, total)
    elif mode == "wrongStart":
        # The asked length, from byte 0 whatever the asked start.
        length = reply.length
        reply.start, reply.end = 0, length
        _set_content_range(reply, 0, length - 1, total)
    elif mode == "changedTotal":
        # The asked bytes, but for a file of twice the size.
        _set_content_range(reply, reply.start, reply.end - 1, total * 2)
    elif mode == "hugeTotal":
        _set_content_range(reply, reply.start, reply.end - 1, HUGE_TOTAL)
    return {}
