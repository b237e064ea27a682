#!/usr/bin/env python3
"""Writes demo/data/catalogue.csv, the stock lists of the four demo shops.

Deterministic: the same script always writes the same file, so the committed
output can be checked against it. Text is Windows-1252, as the shops serve it.

Columns: shop, sku, part_number, manufacturer, description, stock (Y, N or
CALL), quantity (empty for CALL), four quantity/price break pairs (empty when
absent) and the datasheet address (empty when the shop has none).
"""
import csv
import os
import random

# part number, manufacturer, description, base price in US dollars, datasheet name
PARTS = [
    ("LM317T", "Texas Instruments", "Adjustable voltage regulator 1.2-37V 1.5A, TO-220", 0.62, "lm317"),
    ("LM317LZ", "Texas Instruments", "Adjustable voltage regulator 1.2-37V 100mA, TO-92", 0.41, "lm317l"),
    ("LM317MDT", "STMicroelectronics", "Adjustable voltage regulator 500mA, DPAK", 0.55, "lm317m"),
    ("LM317D2T-TR", "STMicroelectronics", "Adjustable voltage regulator 1.5A, D2PAK tape & reel", 0.78, "lm317d2t"),
    ("LM317BT", "onsemi", "Adjustable positive regulator 1.5A, \xb14% tolerance, TO-220", 0.69, "lm317b"),
    ("LM317HVT", "Texas Instruments", "High-voltage adjustable regulator to 57V, TO-220", 2.35, "lm317hv"),
    ("LM317KCSE3", "Texas Instruments", "Adjustable regulator 1.5A, TO-220 lead-free", 0.74, "lm317kc"),
    ("LM317LDR2G", "onsemi", "Adjustable regulator 100mA, SOIC-8", 0.33, "lm317ld"),
    ("LM317DCYR", "Texas Instruments", "Adjustable regulator 1.5A, SOT-223", 0.48, "lm317dcy"),
    ("LM317EMP/NOPB", "Texas Instruments", "Adjustable regulator 1A, SOT-223, 125\xb0C", 0.97, "lm317e"),
    ("LM317MBSTT3", "onsemi", "Adjustable regulator 500mA, SOT-223", 0.44, "lm317mb"),
    ("LM317AHVT/NOPB", "Texas Instruments", "Precision high-voltage adjustable regulator, TO-220", 3.12, "lm317ahv"),
    ("LM317T-DG", "Diodes Incorporated", "Adjustable voltage regulator 1.5A, TO-220", 0.51, "lm317t-dg"),
    ("NE555P", "Texas Instruments", "Single precision timer, 4.5-16V, PDIP-8", 0.38, "ne555"),
    ("NE555N", "STMicroelectronics", "General-purpose single bipolar timer, DIP-8", 0.35, "ne555n"),
    ("NE555DR", "Texas Instruments", "Single precision timer, SOIC-8 tape & reel", 0.29, "ne555d"),
    ("NE555D", "Texas Instruments", "Single precision timer, SOIC-8 tube", 0.34, "ne555d"),
    ("NE555PWR", "Texas Instruments", "Single precision timer, TSSOP-8", 0.31, "ne555pw"),
    ("NE555DT", "STMicroelectronics", "General-purpose timer, SO-8", 0.27, "ne555dt"),
    ("NE555PSR", "Texas Instruments", "Single precision timer, SOP-8", 0.36, "ne555ps"),
    ("NE555S-13", "Diodes Incorporated", "Single timer, SO-8, 13in reel", 0.22, "ne555s"),
    ("NE555DG", "onsemi", "Single timer, SOIC-8, lead-free", 0.32, "ne555dg"),
    ("NE5555", "Philips", "Timer (obsolete stock), DIP-8", 1.95, ""),
    ("BC547B", "onsemi", "NPN transistor 45V 100mA, hFE 200-450, TO-92", 0.08, "bc547"),
    ("BC547C", "onsemi", "NPN transistor 45V 100mA, hFE 420-800, TO-92", 0.09, "bc547"),
    ("BC557B", "onsemi", "PNP transistor 45V 100mA, TO-92", 0.08, "bc557"),
    ("BC337-40", "Diotec", "NPN transistor 45V 800mA, TO-92", 0.07, "bc337"),
    ("2N2222A", "STMicroelectronics", "NPN switching transistor 40V 800mA, TO-18", 0.45, "2n2222a"),
    ("2N3904", "onsemi", "NPN general-purpose transistor 40V 200mA, TO-92", 0.06, "2n3904"),
    ("2N3906", "onsemi", "PNP general-purpose transistor 40V 200mA, TO-92", 0.06, "2n3906"),
    ("BD139", "STMicroelectronics", "NPN medium-power transistor 80V 1.5A, SOT-32", 0.32, "bd139"),
    ("TIP120", "STMicroelectronics", "NPN Darlington 60V 5A, TO-220", 0.58, "tip120"),
    ("TIP31C", "onsemi", "NPN power transistor 100V 3A, TO-220", 0.47, "tip31"),
    ("MJE3055T", "onsemi", "NPN power transistor 60V 10A, TO-220", 0.89, "mje3055"),
    ("IRF540NPBF", "Infineon", "N-channel MOSFET 100V 33A 44mOhm, TO-220", 0.95, "irf540n"),
    ("IRLZ44NPBF", "Infineon", "N-channel logic-level MOSFET 55V 47A, TO-220", 0.99, "irlz44n"),
    ("IRF9540NPBF", "Infineon", "P-channel MOSFET -100V -23A, TO-220", 1.28, "irf9540n"),
    ("2N7000", "onsemi", "N-channel small-signal MOSFET 60V 200mA, TO-92", 0.11, "2n7000"),
    ("BS170", "onsemi", "N-channel small-signal MOSFET 60V 500mA, TO-92", 0.16, "bs170"),
    ("1N4148", "Vishay", "Small-signal switching diode 100V 300mA, DO-35", 0.02, "1n4148"),
    ("1N4148W-7-F", "Diodes Incorporated", "Switching diode 100V, SOD-123", 0.03, "1n4148w"),
    ("1N4007", "Vishay", "Rectifier diode 1000V 1A, DO-41", 0.04, "1n4007"),
    ("1N5819", "Vishay", "Schottky rectifier 40V 1A, DO-41", 0.09, "1n5819"),
    ("1N5408", "Vishay", "Rectifier diode 1000V 3A, DO-201AD", 0.14, "1n5408"),
    ("BZX55C5V1", "Vishay", "Zener diode 5.1V 500mW, DO-35", 0.03, "bzx55"),
    ("ATMEGA328P-PU", "Microchip", "8-bit AVR microcontroller, 32KB flash, 20MHz, PDIP-28", 2.71, "atmega328p"),
    ("ATMEGA328P-AU", "Microchip", "8-bit AVR microcontroller, 32KB flash, TQFP-32", 2.39, "atmega328p"),
    ("ATTINY85-20PU", "Microchip", "8-bit AVR microcontroller, 8KB flash, PDIP-8", 1.42, "attiny85"),
    ("ATMEGA2560-16AU", "Microchip", "8-bit AVR microcontroller, 256KB flash, TQFP-100", 13.85, "atmega2560"),
    ("PIC16F877A-I/P", "Microchip", "8-bit PIC microcontroller, 14KB flash, PDIP-40", 5.62, "pic16f877a"),
    ("PIC12F675-I/P", "Microchip", "8-bit PIC microcontroller, 1.75KB flash, PDIP-8", 1.05, "pic12f675"),
    ("STM32F103C8T6", "STMicroelectronics", "ARM Cortex-M3 MCU 64KB flash 72MHz, LQFP-48", 3.48, "stm32f103"),
    ("STM32F401RET6", "STMicroelectronics", "ARM Cortex-M4 MCU 512KB flash 84MHz, LQFP-64", 6.91, "stm32f401"),
    ("ESP32-WROOM-32E-N4", "Espressif", "Wi-Fi & Bluetooth module, 4MB flash", 3.25, "esp32-wroom-32e"),
    ("LM358N", "Texas Instruments", "Dual operational amplifier, PDIP-8", 0.24, "lm358"),
    ("LM358DR", "Texas Instruments", "Dual operational amplifier, SOIC-8", 0.16, "lm358"),
    ("LM324N", "Texas Instruments", "Quad operational amplifier, PDIP-14", 0.29, "lm324"),
    ("TL072CP", "Texas Instruments", "Dual low-noise JFET-input op-amp, PDIP-8", 0.43, "tl072"),
    ("TL071CP", "Texas Instruments", "Low-noise JFET-input op-amp, PDIP-8", 0.39, "tl071"),
    ("NE5532P", "Texas Instruments", "Dual low-noise op-amp, PDIP-8", 0.61, "ne5532"),
    ("OP07CP", "Texas Instruments", "Precision op-amp, 75\xb5V offset, PDIP-8", 0.88, "op07"),
    ("LM386N-1", "Texas Instruments", "Low-voltage audio power amplifier, PDIP-8", 0.72, "lm386"),
    ("L7805CV", "STMicroelectronics", "Positive voltage regulator 5V 1.5A, TO-220", 0.35, "l78"),
    ("L7812CV", "STMicroelectronics", "Positive voltage regulator 12V 1.5A, TO-220", 0.36, "l78"),
    ("MC7805CTG", "onsemi", "Positive voltage regulator 5V 1A, TO-220", 0.42, "mc7800"),
    ("LM1117T-3.3/NOPB", "Texas Instruments", "LDO regulator 3.3V 800mA, TO-220", 0.98, "lm1117"),
    ("AMS1117-3.3", "Advanced Monolithic Systems", "LDO regulator 3.3V 1A, SOT-223", 0.12, "ams1117"),
    ("LM2596S-5.0/NOPB", "Texas Instruments", "Step-down switching regulator 5V 3A, TO-263", 3.05, "lm2596"),
    ("LM2576T-5.0/NOPB", "Texas Instruments", "Step-down switching regulator 5V 3A, TO-220", 3.41, "lm2576"),
    ("MC34063ACD-TR", "STMicroelectronics", "DC-DC converter controller 1.5A, SO-8", 0.31, "mc34063"),
    ("TPS63020DSJR", "Texas Instruments", "Buck-boost converter 4A, VSON-14", 2.87, "tps63020"),
    ("74HC595N", "Nexperia", "8-bit shift register with output latches, DIP-16", 0.29, "74hc595"),
    ("74HC00N", "Nexperia", "Quad 2-input NAND gate, DIP-14", 0.21, "74hc00"),
    ("SN74HC14N", "Texas Instruments", "Hex Schmitt-trigger inverter, PDIP-14", 0.33, "sn74hc14"),
    ("CD4017BE", "Texas Instruments", "Decade counter/divider, PDIP-16", 0.41, "cd4017b"),
    ("CD4060BE", "Texas Instruments", "14-stage ripple counter with oscillator, PDIP-16", 0.46, "cd4060b"),
    ("MAX232CPE+", "Analog Devices", "Dual RS-232 driver/receiver, PDIP-16", 2.15, "max232"),
    ("MAX3232CPE+", "Analog Devices", "3-5.5V RS-232 transceiver, PDIP-16", 3.66, "max3232"),
    ("FT232RL", "FTDI", "USB to serial UART, SSOP-28", 4.18, "ft232r"),
    ("CH340G", "WCH", "USB to serial converter, SOP-16", 0.45, ""),
    ("DS18B20+", "Analog Devices", "1-Wire digital thermometer, \xb10.5\xb0C, TO-92", 2.89, "ds18b20"),
    ("LM35DZ/NOPB", "Texas Instruments", "Precision Celsius temperature sensor, TO-92", 1.63, "lm35"),
    ("ADS1115IDGSR", "Texas Instruments", "16-bit ADC, 4 channels, I2C, VSSOP-10", 4.72, "ads1115"),
    ("INA219AIDCNR", "Texas Instruments", "Current/power monitor, I2C, SOT-23-8", 1.84, "ina219"),
    ("MCP3008-I/P", "Microchip", "10-bit ADC, 8 channels, SPI, PDIP-16", 2.44, "mcp3008"),
    ("ULN2003A", "STMicroelectronics", "Seven Darlington array, DIP-16", 0.37, "uln2003"),
    ("L293D", "STMicroelectronics", "Push-pull four-channel driver with diodes, DIP-16", 3.21, "l293d"),
    ("24LC256-I/P", "Microchip", "256Kbit I2C serial EEPROM, PDIP-8", 0.93, "24lc256"),
    ("AT24C02D-PUM", "Microchip", "2Kbit I2C serial EEPROM, PDIP-8", 0.27, "at24c02d"),
    ("W25Q32JVSSIQ", "Winbond", "32Mbit serial NOR flash, SPI, SOIC-8", 0.58, "w25q32jv"),
    ("6N137", "Vishay", "High-speed optocoupler 10MBd, DIP-8", 0.82, "6n137"),
    ("PC817", "Sharp", "Phototransistor optocoupler, DIP-4", 0.11, "pc817"),
    ("MOC3021M", "onsemi", "Random-phase triac driver optocoupler, DIP-6", 0.64, "moc3021"),
    ("ABLS-16.000MHZ-B4-T", "Abracon", "Crystal 16MHz 18pF, HC-49/US SMD", 0.29, "abls"),
    ("UVR1E101MED", "Nichicon", "Electrolytic capacitor 100\xb5F 25V 20%, radial", 0.14, "uvr"),
    ("C0805C104K5RACTU", "KEMET", "Ceramic capacitor 100nF 50V X7R 10%, 0805", 0.02, "c0805x7r"),
    ("GRM188R71C104KA01D", "Murata", "Ceramic capacitor 100nF 16V X7R, 0603", 0.01, "grm188"),
    ("CFR-25JB-52-10K", "Yageo", "Carbon film resistor 10k 0.25W 5%", 0.02, "cfr"),
    ("MFR-25FBF52-1K", "Yageo", "Metal film resistor 1k 0.25W 1%", 0.03, "mfr"),
    ("CRCW060310K0FKEA", "Vishay", "Thick film resistor 10k 0.1W 1%, 0603", 0.02, "crcw"),
    ("3296W-1-103LF", "Bourns", "Trimming potentiometer 10k, 25 turns", 1.12, "3296"),
    ("L-53HD", "Kingbright", "LED 5mm red, 2mcd, diffused", 0.09, "l-53hd"),
    ("WP7113GD", "Kingbright", "LED 5mm green, diffused", 0.10, "wp7113gd"),
    ("22-23-2021", "Molex", "KK 254 header, 2 way, 2.54mm", 0.19, "kk254"),
    ("61300411121", "W\xfcrth Elektronik", "Pin header 4 way, 2.54mm, straight", 0.21, "wr-phd"),
    ("B2B-XH-A(LF)(SN)", "JST", "XH header 2 way, 2.5mm, top entry", 0.07, "xh"),
    ("G5LE-1 DC5", "Omron", "Power relay SPDT 10A, 5V coil", 1.36, "g5le"),
    ("0217001.MXP", "Littelfuse", "Glass fuse 1A fast-acting, 5x20mm", 0.24, "217"),
    ("CEM-1203(42)", "CUI Devices", "Magnetic buzzer 12mm, 5V", 0.98, "cem-1203"),
    ("EP4CE22F17C8N", "Intel", "Cyclone IV E FPGA, 22K logic elements, FBGA-256", 58.40, "cyclone-iv"),
    ("XC7K325T-2FFG900C", "AMD", "Kintex-7 FPGA, 326K logic cells, FFG-900", 1648.00, "kintex-7"),
    ("ADUM1201ARZ", "Analog Devices", "Dual-channel digital isolator, SOIC-8", 2.58, "adum1201"),
    ("LM393N", "Texas Instruments", "Dual differential comparator, PDIP-8", 0.22, "lm393"),
]

# key, host, price factor against dollars, break quantities, share of the list
SHOPS = [
    ("tolbrook", "www.tolbrook.test", 0.79, [1, 10, 100, 1000], 0.80, "/datasheets/%s.pdf"),
    ("haller", "www.haller-elektronik.test", 0.88, [1, 10, 50, 250], 0.70, "/datenblatt/%s.pdf"),
    ("harbor", "www.harborparts.test", 1.00, [1, 25, 100, 500], 0.75, "/docs/%s.pdf"),
    ("direct", "direct.korvandel.test", 0.74, [1, 10, 100, 1000], 0.60, "/ds/%s.pdf"),
]

# Every shop stocks these, so searches for them find pages at each shop.
ALWAYS = ("LM317", "NE555")


def round_price(value):
    # Parts below ten cents are priced to the tenth of a cent, as shops do.
    return "%.3f" % value if value < 0.1 else "%.2f" % value


def main():
    rng = random.Random(20261210)
    rows = []
    for key, host, factor, breaks, share, ds_path in SHOPS:
        sku_base = {"tolbrook": 410000, "haller": 7100, "harbor": 100200, "direct": 1}[key]
        for index, (pn, manf, desc, price, ds) in enumerate(PARTS):
            if not pn.startswith(ALWAYS) and rng.random() > share:
                continue
            if pn == "NE5555" and key != "harbor":
                continue
            sku = {
                "tolbrook": "TB%06d" % (sku_base + index * 7),
                "haller": "H-%05d" % (sku_base + index * 13),
                "harbor": "HP-%06d" % (sku_base + index * 3),
                "direct": "KD-%04d" % (sku_base + index),
            }[key]
            roll = rng.random()
            if roll < 0.70:
                stock, qty = "Y", str(rng.choice([5, 12, 48, 150, 325, 1250, 2400, 12000, 48500]))
            elif roll < 0.85:
                stock, qty = "N", "0"
            else:
                stock, qty = "CALL", ""
            unit = price * factor * rng.uniform(0.92, 1.12)
            count = rng.choice([1, 2, 3, 4, 4, 4]) if unit < 500 else 1
            pairs = []
            for n in range(4):
                if n < count:
                    pairs += [str(breaks[n]), round_price(unit * (1 - 0.12 * n))]
                else:
                    pairs += ["", ""]
            datasheet = ("http://" + host + ds_path % ds) if ds and rng.random() < 0.85 else ""
            rows.append([key, sku, pn, manf, desc, stock, qty] + pairs + [datasheet])
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "data", "catalogue.csv"), "w", encoding="cp1252", newline="") as out:
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(["shop", "sku", "part_number", "manufacturer", "description", "stock", "quantity",
                         "break1", "price1", "break2", "price2", "break3", "price3", "break4", "price4",
                         "datasheet"])
        writer.writerows(rows)


if __name__ == "__main__":
    main()
