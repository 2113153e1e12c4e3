; A small PIC18 application for the updater's test product: it counts on PORTB, keeps its
; board index and preparation number at flash bytes 14 and 15 (inside the high-priority
; interrupt vector, behind the jump), and leaves bytes 0 to 3 to the reset jump the updater
; writes there. Assembled with gpasm for each chip by make_hex.sh; BOARD and PREP come from
; the command line.
        list    r=dec
        include <p18cxxx.inc>
        errorlevel -302

  ifdef __18F24J10
        config  WDTEN = OFF, FOSC = HS
  else
        config  OSC = HS, WDT = OFF, LVP = OFF
  endif

        cblock  0x000           ; access RAM
        counter
        delay
        endc

        org     0x0000
reset_vector:
        goto    main            ; replaced on the board by the jump to the bootloader

        org     0x0008
high_vector:
        goto    high_isr
        nop
        db      BOARD, PREP     ; image identity: board index, preparation number

        org     0x0018
low_vector:
        retfie  0

high_isr:
        bcf     INTCON, TMR0IF, A
        incf    counter, F, A
        retfie  FAST

main:
        clrf    counter, A
        clrf    LATB, A
        clrf    TRISB, A
        movlw   b'10000111'     ; timer 0 on, 16 bit, prescaler 1:256
        movwf   T0CON, A
        bsf     INTCON, TMR0IE, A
        bsf     INTCON, GIE, A
loop:
        movf    counter, W, A
        movwf   LATB, A
        rcall   pause
        bra     loop

pause:
        setf    delay, A
pause_step:
        nop
        decfsz  delay, F, A
        bra     pause_step
        return

        end
