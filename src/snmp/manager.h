// The SNMP manager component: sends one GET request at a time over UDP and
// reports what comes back as events, delivered only by the event pump inside
// Wait(). Abstract so that tests can script answers in virtual time
// (test_support/fake_manager.h). The real implementation is UdpManager
// (snmp/udp_manager.h).
//
// Bindings are numbered from 0. Every operation may throw
// platform::Failure with a description of what failed.
#pragma once

#include <cstdint>
#include <string>

namespace upstest::snmp {

// Receives the manager's events. While Response runs, the manager's
// ObjCount(), ObjId(i), ObjValueType(i) and ObjValue(i) describe the
// answer's bindings.
class ManagerEvents {
 public:
  virtual ~ManagerEvents() = default;
  virtual void Response(int32_t request_id, int16_t error_status, int16_t error_index,
                        const std::string& error_description) = 0;
  virtual void BadPacket(int16_t error_code, const std::string& error_description) = 0;
};

// Value types: the identifier octet of the value's encoding.
inline constexpr int32_t kTypeInteger = 2;
inline constexpr int32_t kTypeOctetString = 4;
inline constexpr int32_t kTypeNull = 5;
inline constexpr int32_t kTypeObjectId = 6;
inline constexpr int32_t kTypeIpAddress = 64;
inline constexpr int32_t kTypeCounter32 = 65;
inline constexpr int32_t kTypeGauge32 = 66;
inline constexpr int32_t kTypeTimeTicks = 67;
inline constexpr int32_t kTypeOpaque = 68;
inline constexpr int32_t kTypeCounter64 = 70;
inline constexpr int32_t kTypeNoSuchObject = 128;
inline constexpr int32_t kTypeNoSuchInstance = 129;
inline constexpr int32_t kTypeEndOfMibView = 130;

class Manager {
 public:
  virtual ~Manager() = default;

  // The receiver of Response and BadPacket; set once, before activation.
  virtual void SetEvents(ManagerEvents* events) = 0;

  // Milliseconds a send waits for an answer; the system always sets 0, so
  // sending returns at once and answers come only as events.
  virtual void SetWaitingTime(int16_t ms) = 0;
  // The address to bind to; empty means any. Read after activation: the
  // address in use ("0.0.0.0" for any).
  virtual void SetLocalAddress(const std::string& address) = 0;
  virtual std::string LocalAddress() = 0;
  // The local UDP port in use (0 before activation).
  virtual int32_t LocalPort() = 0;
  // true opens the UDP endpoint and registers it with the event pump.
  virtual void SetActive(bool active) = 0;

  // Clears every request setting; the endpoint stays open and active, and
  // answers from where the last request went are still taken in.
  virtual void Reset() = 0;
  // The destination of the request, kept as given: setting it never fails.
  virtual void SetRemoteHost(const std::string& host) = 0;
  virtual void SetRemotePort(int32_t port) = 0;
  // 1 = SNMPv1, 2 = SNMPv2c.
  virtual void SetVersion(int32_t version) = 0;
  virtual void SetCommunity(const std::string& community) = 0;
  virtual void SetRequestId(int32_t request_id) = 0;

  // Number of bindings of the request; inside Response, of the answer.
  virtual void SetObjCount(int16_t count) = 0;
  virtual int16_t ObjCount() = 0;
  // Dotted OID of binding i.
  virtual void SetObjId(int32_t i, const std::string& oid) = 0;
  virtual std::string ObjId(int32_t i) = 0;
  // Inside Response: the type and text of the value of binding i (decimal
  // for the integer types, dotted for OBJECT IDENTIFIER and IpAddress, the
  // raw bytes for OCTET STRING and Opaque).
  virtual int32_t ObjValueType(int32_t i) = 0;
  virtual std::string ObjValue(int32_t i) = 0;

  // Sends one GetRequest for bindings 0 .. count-1 with NULL values. From
  // then on only datagrams from the address and port it went to can raise
  // Response; any other datagram raises BadPacket. Throws, sending nothing,
  // when the remote host is empty, holds a control character or cannot be
  // resolved, or the remote port lies outside 1..65535.
  virtual void SendGetRequest() = 0;
};

}  // namespace upstest::snmp
