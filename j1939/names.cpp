#include "j1939/names.h"

#include <algorithm>
#include <iterator>

namespace j1939 {

namespace {

struct AddressName {
    quint8 address;
    const char *name;
};

// The preferred addresses of the global industry group, and the reserved
// ones at the top.
constexpr AddressName ADDRESSES[] = {
    {0, "Engine #1"},
    {1, "Engine #2"},
    {2, "Turbocharger"},
    {3, "Transmission #1"},
    {4, "Transmission #2"},
    {5, "Shift Console - Primary"},
    {6, "Shift Console - Secondary"},
    {7, "Power TakeOff - (Main or Rear)"},
    {8, "Axle - Steering"},
    {9, "Axle - Drive #1"},
    {10, "Axle - Drive #2"},
    {11, "Brakes - System Controller"},
    {12, "Brakes - Steer Axle"},
    {13, "Brakes - Drive Axle #1"},
    {14, "Brakes - Drive Axle #2"},
    {15, "Retarder - Engine"},
    {16, "Retarder - Driveline"},
    {17, "Cruise Control"},
    {18, "Fuel System"},
    {19, "Steering Controller"},
    {20, "Suspension - Steer Axle"},
    {21, "Suspension - Drive Axle #1"},
    {22, "Suspension - Drive Axle #2"},
    {23, "Instrument Cluster #1"},
    {24, "Trip Recorder"},
    {25, "Passenger-Operator Climate Control #1"},
    {26, "Alternator/Electrical Charging System"},
    {27, "Aerodynamic Control"},
    {28, "Vehicle Navigation"},
    {29, "Vehicle Security"},
    {30, "Electrical System"},
    {31, "Starter System"},
    {32, "Tractor-Trailer Bridge #1"},
    {33, "Body Controller"},
    {34, "Auxiliary Valve Control or Engine Air System Valve Control"},
    {35, "Hitch Control"},
    {36, "Power TakeOff (Front or Secondary)"},
    {37, "Off Vehicle Gateway"},
    {38, "Virtual Terminal (in cab)"},
    {39, "Management Computer #1"},
    {40, "Cab Display #1"},
    {41, "Retarder, Exhaust, Engine #1"},
    {42, "Headway Controller"},
    {43, "On-Board Diagnostic Unit"},
    {44, "Retarder, Exhaust, Engine #2"},
    {45, "Endurance Braking System"},
    {46, "Hydraulic Pump Controller"},
    {47, "Suspension - System Controller #1"},
    {48, "Pneumatic - System Controller"},
    {49, "Cab Controller - Primary"},
    {50, "Cab Controller - Secondary"},
    {51, "Tire Pressure Controller"},
    {52, "Ignition Control Module #1"},
    {53, "Ignition Control Module #2"},
    {54, "Seat Control #1"},
    {55, "Lighting - Operator Controls"},
    {56, "Rear Axle Steering Controller #1"},
    {57, "Water Pump Controller"},
    {58, "Passenger-Operator Climate Control #2"},
    {59, "Transmission Display - Primary"},
    {60, "Transmission Display - Secondary"},
    {61, "Exhaust Emission Controller"},
    {62, "Vehicle Dynamic Stability Controller"},
    {63, "Oil Sensor"},
    {64, "Suspension - System Controller #2"},
    {65, "Information System Controller #1"},
    {66, "Ramp Control"},
    {67, "Clutch/Converter Unit"},
    {68, "Auxiliary Heater #1"},
    {69, "Auxiliary Heater #2"},
    {70, "Engine Valve Controller"},
    {71, "Chassis Controller #1"},
    {72, "Chassis Controller #2"},
    {73, "Propulsion Battery Charger"},
    {74, "Communications Unit, Cellular"},
    {75, "Communications Unit, Satellite"},
    {76, "Communications Unit, Radio"},
    {77, "Steering Column Unit"},
    {78, "Fan Drive Controller"},
    {79, "Seat Control #2"},
    {80, "Parking Brake Controller"},
    {81, "Aftertreatment #1 System Gas Intake"},
    {82, "Aftertreatment #1 System Gas Outlet"},
    {83, "Safety Restraint System"},
    {84, "Cab Climate Control"},
    {85, "Diesel Particulate Filter Controller"},
    {86, "Aftertreatment #2 System Gas Intake"},
    {87, "Aftertreatment #2 System Gas Outlet"},
    {88, "Safety Restraint System #2"},
    {89, "Atmospheric Sensor"},
    {90, "Powertrain Control Module"},
    {91, "Power Systems Manager"},
    {248, "File Server/Printer"},
    {249, "Off-board Diagnostic-Service Tool #1"},
    {250, "Off-board Diagnostic-Service Tool #2"},
    {251, "On-board Data Logger"},
    {252, "Reserved for Experimental Use"},
    {253, "Reserved for OEM"},
    {254, "Null Address"},
    {255, "Global"},
};

// Sorted by PGN: the groups real trucks send most, the FMS set and those
// this library decodes.
constexpr ParameterGroupName GROUPS[] = {
    {53248, "CL", "Cab Illumination Message"},
    {55552, "DM14", "Memory Access Request"},
    {57344, "CM1", "Cab Message 1"},
    {59392, "ACKM", "Acknowledgment"},
    {59904, "RQST", "Request"},
    {60160, "TP.DT", "Transport Protocol - Data Transfer"},
    {60416, "TP.CM", "Transport Protocol - Connection Management"},
    {60928, "AC", "Address Claimed"},
    {61184, "PropA", "Proprietary A"},
    {61440, "ERC1", "Electronic Retarder Controller 1"},
    {61441, "EBC1", "Electronic Brake Controller 1"},
    {61442, "ETC1", "Electronic Transmission Controller 1"},
    {61443, "EEC2", "Electronic Engine Controller 2"},
    {61444, "EEC1", "Electronic Engine Controller 1"},
    {61445, "ETC2", "Electronic Transmission Controller 2"},
    {61449, "VDC2", "Vehicle Dynamic Stability Control 2"},
    {61450, "EGF1", "Engine Gas Flow Rate"},
    {61454, "AT1IG1", "Aftertreatment 1 Intake Gas 1"},
    {61455, "AT1OG1", "Aftertreatment 1 Outlet Gas 1"},
    {61466, "TFAC", "Engine Throttle / Fuel Actuator Control Command"},
    {64777, "HRLFC", "High Resolution Fuel Consumption (Liquid)"},
    {64891, "AT1S", "Aftertreatment 1 Service"},
    {64892, "DPFC1", "Diesel Particulate Filter Control 1"},
    {64893, "FMS1", "FMS Tell Tale Status"},
    {64914, "EOI", "Engine Operating Information"},
    {64916, "EEC7", "Electronic Engine Controller 7"},
    {64931, "EEC6", "Electronic Engine Controller 6"},
    {64933, "DC2", "Door Control 2"},
    {64946, "AT1IMG", "Aftertreatment 1 Intermediate Gas"},
    {64947, "AT1OG2", "Aftertreatment 1 Outlet Gas 2"},
    {64948, "AT1IG2", "Aftertreatment 1 Intake Gas 2"},
    {64964, "EBC5", "Electronic Brake Controller 5"},
    {64965, "ECUID", "ECU Identification Information"},
    {64976, "IC2", "Inlet/Exhaust Conditions 2"},
    {64977, "FMS", "FMS-standard Interface Identity / Capabilities"},
    {65102, "DC1", "Door Control 1"},
    {65103, "VDC1", "Vehicle Dynamic Stability Control 1"},
    {65110, "AT1T1I", "Aftertreatment 1 Diesel Exhaust Fluid Tank 1 Information"},
    {65129, "ET3", "Engine Temperature 3"},
    {65131, "DI", "Driver's Identification"},
    {65132, "TCO1", "Tachograph"},
    {65134, "HRW", "High Resolution Wheel Speed"},
    {65135, "ACC1", "Adaptive Cruise Control 1"},
    {65136, "CVW", "Combination Vehicle Weight"},
    {65170, "EI", "Engine Information"},
    {65172, "EAC1", "Engine Auxiliary Coolant"},
    {65174, "TCW", "Turbocharger Wastegate"},
    {65175, "TCI5", "Turbocharger Information 5"},
    {65176, "TCI4", "Turbocharger Information 4"},
    {65177, "TCI3", "Turbocharger Information 3"},
    {65178, "TCI2", "Turbocharger Information 2"},
    {65179, "TCI1", "Turbocharger Information 1"},
    {65188, "ET2", "Engine Temperature 2"},
    {65189, "IMT2", "Intake Manifold Information 2"},
    {65190, "IMT1", "Intake Manifold Information 1"},
    {65198, "AIR1", "Air Supply Pressure"},
    {65203, "LFI", "Fuel Information (Liquid)"},
    {65213, "FD", "Fan Drive"},
    {65215, "EBC2", "Wheel Speed Information"},
    {65216, "SERV", "Service Information"},
    {65217, "VDHR", "High Resolution Vehicle Distance"},
    {65226, "DM1", "Active Diagnostic Trouble Codes"},
    {65227, "DM2", "Previously Active Diagnostic Trouble Codes"},
    {65228, "DM3", "Diagnostic Data Clear/Reset of Previously Active DTCs"},
    {65242, "SOFT", "Software Identification"},
    {65243, "EFL/P2", "Engine Fluid Level/Pressure 2"},
    {65244, "IO", "Idle Operation"},
    {65245, "TC", "Turbocharger"},
    {65247, "EEC3", "Electronic Engine Controller 3"},
    {65248, "VD", "Vehicle Distance"},
    {65249, "RC", "Retarder Configuration"},
    {65250, "TCFG", "Transmission Configuration"},
    {65251, "EC1", "Engine Configuration 1"},
    {65252, "SHUTDN", "Shutdown"},
    {65253, "HOURS", "Engine Hours, Revolutions"},
    {65254, "TD", "Time/Date"},
    {65255, "VH", "Vehicle Hours"},
    {65256, "VDS", "Vehicle Direction/Speed"},
    {65257, "LFC", "Fuel Consumption (Liquid)"},
    {65258, "VW", "Vehicle Weight"},
    {65259, "CI", "Component Identification"},
    {65260, "VI", "Vehicle Identification"},
    {65261, "CCSS", "Cruise Control/Vehicle Speed Setup"},
    {65262, "ET1", "Engine Temperature 1"},
    {65263, "EFL/P1", "Engine Fluid Level/Pressure 1"},
    {65264, "PTO", "Power Takeoff Information"},
    {65265, "CCVS", "Cruise Control/Vehicle Speed"},
    {65266, "LFE", "Fuel Economy (Liquid)"},
    {65267, "VP", "Vehicle Position"},
    {65269, "AMB", "Ambient Conditions"},
    {65270, "IC1", "Inlet/Exhaust Conditions 1"},
    {65271, "VEP1", "Vehicle Electrical Power 1"},
    {65272, "TRF1", "Transmission Fluids 1"},
    {65274, "B", "Brakes"},
    {65276, "DD", "Dash Display"},
    {65279, "WFI", "Water in Fuel Indicator"},
};

constexpr bool sortedTables()
{
    for (size_t i = 1; i < std::size(ADDRESSES); ++i) {
        if (ADDRESSES[i - 1].address >= ADDRESSES[i].address)
            return false;
    }
    for (size_t i = 1; i < std::size(GROUPS); ++i) {
        if (GROUPS[i - 1].pgn >= GROUPS[i].pgn)
            return false;
    }
    return true;
}
static_assert(sortedTables(), "the name tables are searched by halving");

// Manufacturer-defined groups: one name for a whole range.
constexpr ParameterGroupName PROPRIETARY_B = {65280, "PropB", "Proprietary B"};
constexpr ParameterGroupName PROPRIETARY_A2 = {126720, "PropA2", "Proprietary A2"};

} // namespace

QString sourceAddressName(quint8 address)
{
    const auto it = std::lower_bound(std::begin(ADDRESSES), std::end(ADDRESSES), address,
                                     [](const AddressName &entry, quint8 a) { return entry.address < a; });
    if (it == std::end(ADDRESSES) || it->address != address)
        return QString();
    return QString::fromLatin1(it->name);
}

const ParameterGroupName *parameterGroupName(quint32 pgn)
{
    if (pgn >= 65280 && pgn <= 65535)
        return &PROPRIETARY_B;
    if (pgn == PROPRIETARY_A2.pgn)
        return &PROPRIETARY_A2;
    const auto it = std::lower_bound(std::begin(GROUPS), std::end(GROUPS), pgn,
                                     [](const ParameterGroupName &entry, quint32 p) { return entry.pgn < p; });
    if (it == std::end(GROUPS) || it->pgn != pgn)
        return nullptr;
    return it;
}

QString pgnName(quint32 pgn)
{
    const ParameterGroupName *group = parameterGroupName(pgn);
    if (!group)
        return QString();
    return QStringLiteral("%1 %2").arg(QLatin1String(group->acronym), QLatin1String(group->name));
}

} // namespace j1939
