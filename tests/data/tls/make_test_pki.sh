#!/bin/bash
# A test certificate authority and four server certificates, made fresh in the folder given as $1:
# good (127.0.0.1, valid now, signed by the authority), otherhost (a DNS name, not 127.0.0.1), expired
# (127.0.0.1, ended yesterday) and selfsigned (127.0.0.1, signed by itself). Each NAME.pem has NAME.key.
set -e
cd "$1"
cat > ca.cnf <<'CNF'
[ca]
default_ca = test
[test]
dir = .
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
copy_extensions = copy
unique_subject = no
[any]
commonName = supplied
[leaf]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
CNF
: > index.txt
echo 01 > serial
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=VexaQr-Test-CA -keyout ca.key -out ca.pem \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
leaf() { # name subjectAltName startdate enddate
  openssl req -new -newkey rsa:2048 -nodes -subj "/CN=$1" -addext "subjectAltName=$2" -keyout "$1.key" -out "$1.csr"
  openssl ca -batch -config ca.cnf -extensions leaf -cert ca.pem -keyfile ca.key -in "$1.csr" -out "$1.pem" \
    -startdate "$3" -enddate "$4" -notext
}
leaf good IP:127.0.0.1 $(date -u -d '-1 hour' +%Y%m%d%H%M%SZ) $(date -u -d '+1 day' +%Y%m%d%H%M%SZ)
leaf otherhost DNS:other.example $(date -u -d '-1 hour' +%Y%m%d%H%M%SZ) $(date -u -d '+1 day' +%Y%m%d%H%M%SZ)
leaf expired IP:127.0.0.1 $(date -u -d '-3 days' +%Y%m%d%H%M%SZ) $(date -u -d '-1 day' +%Y%m%d%H%M%SZ)
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout selfsigned.key -out selfsigned.pem
