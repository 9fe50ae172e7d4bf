-- Wireshark dissectors for the frame interfaces of Quillport's captures.
--
-- Quillport writes the frames its decoders find on interfaces of their own. PPP frames use
-- Wireshark's own PPP dissector (LINKTYPE_PPP_WITH_DIR); for the other two no built-in link type
-- fits, so they use two of the user link types, which this file claims:
--   LINKTYPE_USER12 (159)  HDLC: address, control, information, FCS-16 (as received, least
--                          significant octet first); an FF 03 frame is PPP and is handed on to it
--   LINKTYPE_USER13 (160)  ICNI: start octet 0xEE, first octet, length L, L payload octets and an
--                          XOR check of the octets after the start; nothing beyond the length is read
-- Install: Quillport's install puts this file in Wireshark's global plugin folder; by hand, copy it
-- to the "Personal Lua Plugins" folder that Help > About Wireshark > Folders names.

local bxor = (bit32 and bit32.bxor) or bit.bxor
local band = (bit32 and bit32.band) or bit.band
local rshift = (bit32 and bit32.rshift) or bit.rshift
local encaps = wtap_encaps or wtap

local function direction_text(pinfo)
  if pinfo.p2p_dir == 1 then return "Rx" end
  if pinfo.p2p_dir == 0 then return "Tx" end
  return "  "
end

-- ICNI -------------------------------------------------------------------------------------------

local icni = Proto("icni", "ICNI Frame")
local icni_start = ProtoField.uint8("icni.start", "Start", base.HEX)
local icni_first = ProtoField.uint8("icni.first", "First octet", base.HEX)
local icni_length = ProtoField.uint8("icni.length", "Length", base.DEC)
local icni_payload = ProtoField.bytes("icni.payload", "Payload")
local icni_check = ProtoField.uint8("icni.check", "XOR check", base.HEX)
local icni_check_ok = ProtoField.bool("icni.check.good", "Check good")
local icni_after = ProtoField.bytes("icni.after", "Octets after the frame")
icni.fields = {icni_start, icni_first, icni_length, icni_payload, icni_check, icni_check_ok, icni_after}

local icni_no_start = ProtoExpert.new("icni.no_start", "Frame does not begin with the start octet 0xEE",
                                      expert.group.MALFORMED, expert.severity.WARN)
local icni_short = ProtoExpert.new("icni.short", "Frame ends before its length says",
                                   expert.group.MALFORMED, expert.severity.WARN)
local icni_bad_check = ProtoExpert.new("icni.bad_check", "XOR check does not match (another check type?)",
                                       expert.group.CHECKSUM, expert.severity.WARN)
icni.experts = {icni_no_start, icni_short, icni_bad_check}

function icni.dissector(tvb, pinfo, tree)
  local n = tvb:len()
  pinfo.cols.protocol = "ICNI"
  local t = tree:add(icni, tvb())
  if n < 1 then return 0 end
  local start = t:add(icni_start, tvb(0, 1))
  if tvb(0, 1):uint() ~= 0xEE then start:add_proto_expert_info(icni_no_start) end
  if n < 3 then
    t:add_proto_expert_info(icni_short)
    pinfo.cols.info = direction_text(pinfo) .. " ICNI, too short for a length"
    return n
  end
  t:add(icni_first, tvb(1, 1))
  local length = tvb(2, 1):uint()
  t:add(icni_length, tvb(2, 1))
  if n < length + 4 then
    if n > 3 then t:add(icni_payload, tvb(3, n - 3)) end
    t:add_proto_expert_info(icni_short)
    pinfo.cols.info = direction_text(pinfo) .. " ICNI, " .. (n - 3) .. " of " .. length .. " payload octets"
    return n
  end
  if length > 0 then t:add(icni_payload, tvb(3, length)) end
  local xor = 0
  for i = 1, length + 2 do xor = bxor(xor, tvb(i, 1):uint()) end
  local check = t:add(icni_check, tvb(length + 3, 1))
  local good = xor == tvb(length + 3, 1):uint()
  t:add(icni_check_ok, good):set_generated()
  if not good then check:add_proto_expert_info(icni_bad_check) end
  if n > length + 4 then t:add(icni_after, tvb(length + 4, n - length - 4)) end
  pinfo.cols.info = string.format("%s ICNI first 0x%02X, %d payload octets, check %s", direction_text(pinfo),
                                  tvb(1, 1):uint(), length, good and "good" or "bad")
  return n
end

-- HDLC -------------------------------------------------------------------------------------------

local hdlc = Proto("hdlcframe", "HDLC Frame")
local hdlc_address = ProtoField.uint8("hdlcframe.address", "Address", base.HEX)
local hdlc_control = ProtoField.uint8("hdlcframe.control", "Control", base.HEX)
local hdlc_kind = ProtoField.string("hdlcframe.kind", "Frame")
local hdlc_ns = ProtoField.uint8("hdlcframe.ns", "N(S)", base.DEC, nil, 0x0E)
local hdlc_nr = ProtoField.uint8("hdlcframe.nr", "N(R)", base.DEC, nil, 0xE0)
local hdlc_pf = ProtoField.bool("hdlcframe.pf", "Poll/Final", 8, nil, 0x10)
local hdlc_info = ProtoField.bytes("hdlcframe.info", "Information")
local hdlc_fcs = ProtoField.uint16("hdlcframe.fcs", "FCS", base.HEX)
local hdlc_fcs_ok = ProtoField.bool("hdlcframe.fcs.good", "FCS good")
hdlc.fields = {hdlc_address, hdlc_control, hdlc_kind, hdlc_ns, hdlc_nr, hdlc_pf, hdlc_info, hdlc_fcs, hdlc_fcs_ok}

local hdlc_short = ProtoExpert.new("hdlcframe.short", "Frame shorter than address, control and FCS",
                                   expert.group.MALFORMED, expert.severity.WARN)
local hdlc_bad_fcs = ProtoExpert.new("hdlcframe.bad_fcs", "FCS does not match", expert.group.CHECKSUM,
                                     expert.severity.WARN)
hdlc.experts = {hdlc_short, hdlc_bad_fcs}

local supervisory = {[0] = "RR", [1] = "RNR", [2] = "REJ", [3] = "SREJ"}
local unnumbered = {[0x03] = "UI", [0x2F] = "SABM", [0x6F] = "SABME", [0x43] = "DISC", [0x63] = "UA",
                    [0x0F] = "DM", [0x87] = "FRMR", [0xAF] = "XID", [0xE3] = "TEST", [0x83] = "SNRM"}

-- CRC-16/X.25 (reflected 0x8408, start 0xFFFF, complemented): HDLC's frame check sequence.
local function fcs16(tvb, length)
  local fcs = 0xFFFF
  for i = 0, length - 1 do
    fcs = bxor(fcs, tvb(i, 1):uint())
    for _ = 1, 8 do
      if band(fcs, 1) == 1 then fcs = bxor(rshift(fcs, 1), 0x8408) else fcs = rshift(fcs, 1) end
    end
  end
  return bxor(fcs, 0xFFFF)
end

local function frame_kind(control)
  if band(control, 1) == 0 then return "I" end
  if band(control, 3) == 1 then return supervisory[band(rshift(control, 2), 3)] end
  return unnumbered[band(control, 0xEF)] or string.format("U 0x%02X", control)
end

local ppp = Dissector.get("ppp_hdlc")

function hdlc.dissector(tvb, pinfo, tree)
  local n = tvb:len()
  pinfo.cols.protocol = "HDLC"
  local t = tree:add(hdlc, tvb())
  if n < 4 then
    t:add_proto_expert_info(hdlc_short)
    pinfo.cols.info = direction_text(pinfo) .. " HDLC, " .. n .. " octets"
    return n
  end
  local control = tvb(1, 1):uint()
  local kind = frame_kind(control)
  t:add(hdlc_address, tvb(0, 1))
  local c = t:add(hdlc_control, tvb(1, 1))
  c:add(hdlc_kind, kind):set_generated()
  if band(control, 1) == 0 then c:add(hdlc_ns, tvb(1, 1)) end
  if band(control, 3) ~= 3 then c:add(hdlc_nr, tvb(1, 1)) end
  c:add(hdlc_pf, tvb(1, 1))
  if n > 4 then t:add(hdlc_info, tvb(2, n - 4)) end
  local fcs = tvb(n - 2, 2):le_uint()
  local good = fcs16(tvb, n - 2) == fcs
  local f = t:add_le(hdlc_fcs, tvb(n - 2, 2))
  t:add(hdlc_fcs_ok, good):set_generated()
  if not good then f:add_proto_expert_info(hdlc_bad_fcs) end
  pinfo.cols.info = string.format("%s HDLC %s, address 0x%02X, %d information octets, FCS %s", direction_text(pinfo),
                                  kind, tvb(0, 1):uint(), n - 4, good and "good" or "bad")
  if tvb(0, 1):uint() == 0xFF and control == 0x03 and ppp then ppp:call(tvb(0, n - 2):tvb(), pinfo, tree) end
  return n
end

local table = DissectorTable.get("wtap_encap")
table:add(encaps.USER12, hdlc)
table:add(encaps.USER13, icni)
