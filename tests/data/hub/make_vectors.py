#!/usr/bin/env python3
"""Writes hub_vectors.json: shared access signatures, WRAP token requests and percent-encodings computed
with Python's hmac, hashlib, base64 and urllib modules, for the C++ tests of the hub client to match."""
import base64
import hashlib
import hmac
import json
import urllib.parse


def encode(text):
    # Only letters, digits and "-._~" stay; everything else is a %XX escape of its UTF-8 bytes.
    return urllib.parse.quote(text, safe="-._~")


def sas(url, key, key_name, now, minutes):
    expiry = str(int(now) + minutes * 60)
    resource = encode(url.lower().replace("https://", "http://")).lower()
    digest = hmac.new(key.encode(), (resource + "\n" + expiry).encode(), hashlib.sha256).digest()
    signature = encode(base64.b64encode(digest).decode())
    return f"SharedAccessSignature sr={resource}&sig={signature}&se={expiry}&skn={key_name}"


def wrap_body(url, issuer, secret):
    scope = url.lower().split("?")[0].replace("https://", "http://")
    digest = hmac.new(base64.b64decode(secret), ("Issuer=" + issuer).encode(), hashlib.sha256).digest()
    signature = encode(base64.b64encode(digest).decode())
    assertion = encode(f"Issuer={issuer}&HMACSHA256={signature}")
    return f"wrap_scope={encode(scope)}&wrap_assertion_format=SWT&wrap_assertion={assertion}"


SAS_CASES = [
    ("https://demo-ns.example.net/myhub/Registrations/?$filter=deviceToken+eq+'0AFF'&api-version=2013-04",
     "k3y/with+chars=", "DefaultFullSharedAccessSignature", 1700000000, 20),
    ("https://demo-ns.example.net/MyHub/registrationids/?api-version=2013-04",
     "secret", "DefaultListenSharedAccessSignature", 1700000000.75, 60),
    # After January 2038: the expiry no longer fits 32 bits.
    ("https://demo-ns.example.net/myhub/Registrations/1234-5678?api-version=2013-04",
     "secret", "rule", 2200000000, 20),
    ("http://127.0.0.1:8080/hub/myhub/Registrations/abc?api-version=2013-04", "", "empty-key", 0, 1),
]

WRAP_CASES = [
    ("https://demo-ns.example.net/myhub/Registrations/?api-version=2013-04", "owner",
     base64.b64encode(b"issuer secret bytes \x00\xff").decode()),
    ("HTTPS://Demo-NS.example.net/MyHub/registrationids/", "partner&co", base64.b64encode(b"k").decode()),
]

ENCODE_CASES = ["!*'();:@&=+$,/?%#[]", "plain-._~AZaz09", "a b\tc\n", "Grüße, 東京 🚀", "\x7f\x01", ""]


def main():
    vectors = {
        "sharedAccessSignatures": [
            {"url": u, "key": k, "keyName": n, "now": t, "minutes": m, "authorization": sas(u, k, n, t, m)}
            for (u, k, n, t, m) in SAS_CASES
        ],
        "wrapRequests": [
            {"url": u, "issuer": i, "secret": s, "body": wrap_body(u, i, s)} for (u, i, s) in WRAP_CASES
        ],
        "urlEncodings": [{"text": t, "encoded": encode(t)} for t in ENCODE_CASES],
    }
    with open(__file__.replace("make_vectors.py", "hub_vectors.json"), "w", encoding="utf-8") as out:
        json.dump(vectors, out, indent=1, ensure_ascii=False)
        out.write("\n")


if __name__ == "__main__":
    main()
