"""The server's middleware, outermost first: security headers on every answer,
the Host allow-list and cross-site refusals, and the guard on request bodies
(size, time, a client that leaves while sending one)."""

import asyncio
import base64
import hashlib
import json
import logging
import re
from urllib.parse import urlsplit

log = logging.getLogger("tarvo-serve")


def error_response(status, message, parameter=None, close=False):
    """Returns the raw ASGI messages of a JSON refusal {"error": message}."""
    body = {"error": message}
    if parameter:
        body["parameter"] = parameter
    data = json.dumps(body).encode()
    headers = [(b"content-type", b"application/json"), (b"content-length", str(len(data)).encode())]
    if close:
        headers.append((b"connection", b"close"))
    return [{"type": "http.response.start", "status": status, "headers": headers},
            {"type": "http.response.body", "body": data}]


async def _send_all(send, messages):
    for message in messages:
        await send(message)


def inline_script_hashes(html):
    """Returns the CSP sources ('sha256-...') of the inline scripts of a page."""
    sources = []
    for text in re.findall(r"<script(?![^>]*\bsrc=)[^>]*>(.*?)</script>", html, re.S):
        digest = base64.b64encode(hashlib.sha256(text.encode()).digest()).decode()
        sources.append(f"'sha256-{digest}'")
    return sources


class SecurityHeaders:
    """Adds to every answer: no type sniffing, a content security policy that
    allows only this origin (and no framing by others), no referrer."""

    def __init__(self, app, script_sources=()):
        self.app = app
        policy = ("default-src 'self'; script-src 'self' " + " ".join(script_sources)
                  + "; style-src 'self'; img-src 'self' data: blob:; connect-src 'self'; "
                  "object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'")
        self.headers = [
            (b"x-content-type-options", b"nosniff"),
            (b"content-security-policy", policy.encode()),
            (b"x-frame-options", b"DENY"),
            (b"referrer-policy", b"no-referrer"),
            (b"cross-origin-resource-policy", b"same-origin"),
        ]

    async def __call__(self, scope, receive, send):
        if scope["type"] != "http":
            return await self.app(scope, receive, send)

        async def send_with_headers(message):
            if message["type"] == "http.response.start":
                message = dict(message, headers=list(message.get("headers", [])) + self.headers)
            await send(message)

        await self.app(scope, receive, send_with_headers)


def _host_name(value):
    """Returns the host of a Host header value or URL authority, lower case, without the port."""
    value = value.strip().lower()
    if value.startswith("["):
        return value[:value.find("]") + 1] if "]" in value else value
    return value.rsplit(":", 1)[0] if value.count(":") == 1 else value


class HostCheck:
    """Answers only requests whose Host is allowed (a page of another site
    reached through a rebound DNS name names its own host), and refuses
    requests that change anything when a browser says another site sent them."""

    def __init__(self, app, allowed_hosts):
        self.app = app
        self.any_host = "*" in allowed_hosts
        self.allowed = {h.lower() for h in allowed_hosts}

    def _allowed(self, host):
        return self.any_host or _host_name(host) in self.allowed

    async def __call__(self, scope, receive, send):
        if scope["type"] != "http":
            return await self.app(scope, receive, send)
        headers = dict(scope["headers"])
        host = headers.get(b"host", b"").decode("latin-1")
        if not self._allowed(host):
            return await _send_all(send, error_response(400, "this server does not answer to that host"))
        if scope["method"] not in ("GET", "HEAD", "OPTIONS"):
            origin = headers.get(b"origin", b"").decode("latin-1")
            site = headers.get(b"sec-fetch-site", b"").decode("latin-1")
            if (origin and origin != "null" and not self._allowed(urlsplit(origin).netloc)) \
                    or origin == "null" or site == "cross-site":
                return await _send_all(send, error_response(403, "requests from other sites are refused"))
        await self.app(scope, receive, send)


class ClientGone(Exception):
    """The client closed the connection before its request was complete."""


class _TooLarge(Exception):
    pass


def client_name(scope):
    """Returns "host:port" of the client of a request (after proxy headers)."""
    client = scope.get("client")
    return f"{client[0]}:{client[1]}" if client else "unknown client"


class BodyGuard:
    """Refuses request bodies above `limit` bytes with 413, whether announced
    by Content-Length or streamed without one, and bodies not complete within
    `timeout` seconds of the request's head with 408. A client that leaves
    while sending its body is one line in the log."""

    def __init__(self, app, limit, timeout):
        self.app, self.limit, self.timeout = app, limit, timeout

    async def __call__(self, scope, receive, send):
        if scope["type"] != "http":
            return await self.app(scope, receive, send)
        length = dict(scope["headers"]).get(b"content-length")
        # Digits only, and few enough for int() to take.
        if length is not None and (not re.fullmatch(rb"[0-9]{1,15}", length) or int(length) > self.limit):
            return await _send_all(send, error_response(
                413, f"request body above {self.limit} bytes", close=True))
        loop = asyncio.get_running_loop()
        deadline = loop.time() + self.timeout
        seen, complete = 0, False

        async def guarded_receive():
            nonlocal seen, complete
            if complete:
                return await receive()
            try:
                message = await asyncio.wait_for(receive(), max(0.0, deadline - loop.time()))
            except asyncio.TimeoutError:
                raise _TimedOut() from None
            if message["type"] == "http.disconnect":
                raise ClientGone()
            seen += len(message.get("body", b""))
            if seen > self.limit:
                raise _TooLarge()
            complete = not message.get("more_body", False)
            return message

        try:
            await self.app(scope, guarded_receive, send)
        except _TooLarge:
            await _send_all(send, error_response(413, f"request body above {self.limit} bytes", close=True))
        except _TimedOut:
            log.info("%s: %s %s: the body took longer than %g s; answered 408",
                     client_name(scope), scope["method"], scope["path"], self.timeout)
            await _send_all(send, error_response(
                408, f"the request body took longer than {self.timeout:g} s", close=True))
        except ClientGone:
            log.info("%s: %s %s: the client went away while sending the body",
                     client_name(scope), scope["method"], scope["path"])


class _TimedOut(Exception):
    pass
